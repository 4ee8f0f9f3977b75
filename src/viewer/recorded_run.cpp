#include "viewer/recorded_run.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "crowd/setup_limits.h"
#include "platform/number_text.h"
#include "platform/safe_input.h"
#include "inputs/project.h"
#include "projectformat/project_files.h"
#include "run/results.h"
#include "inputs/startup_script_reader.h"
#include "viewer/motion_file_reader.h"

namespace viewer {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr std::uint64_t kMaxSummaryBytes = 256ull << 20;
constexpr std::uint64_t kMaxTrajectoryBytes = 4ull << 30;
// Positions held for a replay at most (20 bytes each: about 0.4 GB, twice
// that while a frame's list grows); longer runs keep every k-th frame, chosen
// before the positions are read, and the file is read in pieces of 1 MiB.
constexpr std::size_t kMaxPositions = 20'000'000;
constexpr std::size_t kPiece = 1u << 20;

[[noreturn]] void bad(const fs::path& file, const std::string& why) {
    throw runtime::InputError(file.string() + ": " + why);
}

crowd::Role roleNamed(const std::string& name) {
    for (crowd::Role r : {crowd::Role::Person, crowd::Role::Child, crowd::Role::Parent,
                          crowd::Role::Adult, crowd::Role::JoggingChild})
        if (name == crowd::roleName(r)) return r;
    return crowd::Role::Person;
}

crowd::Vec2 point(const json& p, double u, const fs::path& file, const char* what) {
    if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number())
        bad(file, std::string(what) + " is not a point [x, z]");
    const double x = p[0].get<double>() / u, z = p[1].get<double>() / u;
    if (!std::isfinite(x) || !std::isfinite(z)) bad(file, std::string(what) + " is not finite");
    if (!(std::fabs(x) <= crowd::kMaxCoordinate && std::fabs(z) <= crowd::kMaxCoordinate))
        bad(file, std::string(what) + " lies beyond " +
                      std::to_string(static_cast<long>(crowd::kMaxCoordinate)) +
                      " m from the origin");
    return {x, z};
}

double radiusOf(const json& r, const fs::path& file) {
    const double v = r.get<double>();
    if (!(v > 0.0 && v < 2.0)) bad(file, "a person's radius is not in (0, 2) m");
    return v;
}

// Calls `row(text, line)` for every line of `file` after the first, which
// it returns, reading the file in pieces.
template <class Row>
std::string eachLine(const fs::path& file, Row&& row) {
    platform::InputFile in = platform::openRegularFile(file, kMaxTrajectoryBytes);
    std::string carry, first;
    std::vector<char> buf(kPiece);
    std::size_t line = 0;
    auto take = [&](std::string_view l) {
        if (++line == 1)
            first = std::string(l);
        else
            row(l, line);
    };
    for (;;) {
        const ssize_t n = ::read(in.descriptor(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) bad(file, std::string("cannot be read: ") + std::strerror(errno));
        if (n == 0) break;
        std::string_view piece(buf.data(), static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = piece.find('\n')) != std::string_view::npos;) {
            if (carry.empty()) {
                take(piece.substr(0, nl));
            } else {
                carry.append(piece.substr(0, nl));
                take(carry);
                carry.clear();
            }
            piece.remove_prefix(nl + 1);
        }
        carry.append(piece);
        if (carry.size() > 4096) bad(file, "line " + std::to_string(line + 1) + " is too long");
    }
    if (!carry.empty()) take(carry);
    return first;
}

// trajectories.csv: "time_s,person,x_m,z_m" rows (metres), one frame after
// the other; or the older "time,person,x,z" in the summary's units per metre
// `olderUnits`. Read twice in pieces: the rows are counted first, so that a
// long run keeps every k-th frame as it is read (never more than
// kMaxPositions positions).
std::vector<LiveFrame> readTrajectories(const fs::path& file, double olderUnits, std::size_t people) {
    std::size_t rows = 0;
    std::string header = eachLine(file, [&](std::string_view, std::size_t) { ++rows; });
    if (!header.empty() && header.back() == '\r') header.pop_back();
    const std::string columns = runtime::kTrajectoryColumns;
    double u = 1.0;
    if (header == columns)
        u = 1.0;
    else if (header.rfind("time,person,x,z", 0) == 0)
        u = olderUnits;
    else
        bad(file, "line 1 is not \"" + columns + "\"");
    const std::size_t keepEvery = rows / kMaxPositions + 1;
    std::vector<LiveFrame> frames;
    double lastTime = -1.0;
    std::size_t frameIndex = 0;
    bool keeping = false;
    eachLine(file, [&](std::string_view l, std::size_t line) {
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (l.empty() && line == rows + 1) return;  // a last line break
        double v[4];
        const char* p = l.data();
        const char* e = l.data() + l.size();
        for (int k = 0; k < 4; ++k) {
            const auto r = std::from_chars(p, e, v[k]);
            if (r.ec != std::errc() || !std::isfinite(v[k]) ||
                (k < 3 && (r.ptr == e || *r.ptr != ',')) || (k == 3 && r.ptr != e))
                bad(file, "line " + std::to_string(line) + " is not \"" + columns + "\"");
            p = r.ptr + 1;
        }
        const int id = static_cast<int>(std::clamp(v[1], -1.0, 2.0e9));
        if (v[1] != id || id < 0 || static_cast<std::size_t>(id) >= people)
            bad(file, "line " + std::to_string(line) + ": no person " + platform::fixedText(v[1], 0));
        if (v[0] < lastTime) bad(file, "line " + std::to_string(line) + ": time goes back");
        const double x = v[2] / u, z = v[3] / u;
        if (!(std::fabs(x) <= crowd::kMaxCoordinate && std::fabs(z) <= crowd::kMaxCoordinate))
            bad(file, "line " + std::to_string(line) + ": a position beyond " +
                          std::to_string(static_cast<long>(crowd::kMaxCoordinate)) +
                          " m from the origin");
        if (v[0] != lastTime) {
            keeping = frameIndex++ % keepEvery == 0;
            if (keeping) {
                frames.push_back({});
                frames.back().frame.time = v[0];
            }
            lastTime = v[0];
        }
        if (!keeping) return;
        frames.back().frame.people.push_back(id);
        frames.back().frame.positions.push_back({x, z});
    });
    return frames;
}

}  // namespace

void endWhenEveryoneIsOut(RecordedRun& run) {
    if (!run.everyoneOut) return;
    if (!run.frames.empty() && run.frames.back().frame.time >= run.evacuationTime - 1e-9) return;
    LiveFrame last;
    last.frame.time = run.evacuationTime;
    run.frames.push_back(std::move(last));
}

void countOutByExit(std::vector<LiveFrame>& frames, std::size_t exits,
                    const std::vector<std::pair<int, double>>& leaving) {
    std::vector<std::pair<double, int>> events;
    for (const auto& [exit, time] : leaving)
        if (exit >= 0 && static_cast<std::size_t>(exit) < exits) events.push_back({time, exit});
    std::sort(events.begin(), events.end());
    std::vector<int> out(exits, 0);
    std::size_t next = 0;
    for (LiveFrame& f : frames) {
        while (next < events.size() && events[next].first <= f.frame.time + 1e-9)
            ++out[static_cast<std::size_t>(events[next++].second)];
        f.outByExit = out;
    }
}

bool ResultsFolderReader::recognises(const fs::path& place) const {
    std::error_code ec;
    return fs::is_regular_file(place / "summary.json", ec);
}

RecordedRun ResultsFolderReader::read(const fs::path& place) const {
    const fs::path summaryFile = place / "summary.json";
    json j;
    try {
        j = json::parse(platform::readRegularFile(summaryFile, kMaxSummaryBytes));
    } catch (const json::exception& e) {
        bad(summaryFile, std::string("not readable JSON: ") + e.what());
    } catch (const platform::InputFileError& e) {
        throw runtime::InputError(e.what());
    }
    RecordedRun run;
    try {
        // Lengths in metres under keys ending in "_m"; summaries written
        // before that hold world units, units.unitsPerMetre of them a metre.
        const bool metres = j.contains("walkable_m");
        const std::string m = metres ? "_m" : "";
        double u = 1.0;
        if (!metres) {
            u = j.at("units").at("unitsPerMetre").get<double>();
            if (!(u > 0.0) || !std::isfinite(u))
                bad(summaryFile, "units.unitsPerMetre is not above 0");
        }
        run.title = j.value("name", std::string());
        if (!j.contains("walkable" + m))
            bad(summaryFile, "has no \"walkable_m\" floor (written by an older mvnrt; run it again)");
        for (const json& ring : j.at("walkable" + m)) {
            crowd::Polygon poly;
            for (const json& v : ring) poly.push_back(point(v, u, summaryFile, "a floor vertex"));
            run.scene.floor.push_back(std::move(poly));
        }
        std::vector<std::string> exitNames;
        for (const json& e : j.at("exits")) {
            scene::SceneExit x;
            x.name = e.at("name").get<std::string>();
            x.door = e.at("kind").get<std::string>() == "door in a wall";
            x.opening = {point(e.at("openingFrom" + m), u, summaryFile, "an exit's openingFrom"),
                         point(e.at("openingTo" + m), u, summaryFile, "an exit's openingTo")};
            exitNames.push_back(x.name);
            run.scene.exits.push_back(std::move(x));
        }
        run.scene.walls = scene::wallsWithoutGaps(run.scene.floor, run.scene.exits);
        std::vector<std::pair<int, double>> leaving;
        for (const json& p : j.at("persons")) {
            run.scene.people.push_back(
                {roleNamed(p.at("role").get<std::string>()), radiusOf(p.at("radius" + m), summaryFile)});
            int exit = -1;
            double time = 0.0;
            if (p.contains("leftBy") && p.at("leftBy").is_string()) {
                const auto it = std::find(exitNames.begin(), exitNames.end(),
                                          p.at("leftBy").get<std::string>());
                if (it != exitNames.end()) exit = static_cast<int>(it - exitNames.begin());
                time = p.at("exitTime").get<double>();
            }
            leaving.push_back({exit, time});
        }
        for (const json& n : j.value("notes", json::array()))
            run.notes.push_back(n.get<std::string>());
        run.everyoneOut = j.at("everyoneOut").get<bool>();
        // A run stopped by the user has no evacuation time: it ends where it stopped.
        const json& evacuation = j.at("evacuationTime");
        run.evacuationTime = evacuation.is_null() ? j.at("simulatedSeconds").get<double>()
                                                  : evacuation.get<double>();
        if (!(run.evacuationTime >= 0.0 && run.evacuationTime <= 1.0e7))
            bad(summaryFile, "evacuationTime is " + platform::fixedText(run.evacuationTime, 1) +
                                 "; a time of a run lies from 0 to 1e7 s");

        const fs::path trajFile = place / "trajectories.csv";
        std::error_code ec;
        if (!fs::exists(trajFile, ec))
            bad(trajFile, "is missing (the run was made with --fps 0): nothing to replay");
        try {
            run.frames = readTrajectories(trajFile, u, run.scene.people.size());
        } catch (const platform::InputFileError& e) {
            throw runtime::InputError(e.what());
        }
        endWhenEveryoneIsOut(run);
        countOutByExit(run.frames, run.scene.exits.size(), leaving);

        // A project's results folder (bProj/results/KIND-TIME, or a folder
        // the user named in bProj): the script's camera.
        if (j.value("mode", std::string()) == "project") {
            fs::path script = place / ".." / ".." / "Vellico" / "startup.pc";
            if (!fs::is_regular_file(script, ec)) script = place / ".." / "Vellico" / "startup.pc";
            if (fs::is_regular_file(script, ec)) {
                try {
                    const runtime::StartupScript s =
                        runtime::parseStartupScript(platform::readRegularFile(script, 1 << 20));
                    run.scriptCamera = scene::Vec3{s.cameraX / projectformat::kWorldUnitsPerMetre,
                                                   s.cameraY / projectformat::kWorldUnitsPerMetre,
                                                   s.cameraZ / projectformat::kWorldUnitsPerMetre};
                } catch (const std::exception&) {
                    // No camera then: the top-down view.
                }
            }
        }
    } catch (const json::exception& e) {
        bad(summaryFile, std::string("not a summary of mvnrt: ") + e.what());
    }
    return run;
}

std::vector<std::unique_ptr<RecordedRunReader>> recordedRunReaders() {
    std::vector<std::unique_ptr<RecordedRunReader>> readers;
    readers.push_back(std::make_unique<ResultsFolderReader>());
    readers.push_back(std::make_unique<MotionFileReader>());
    return readers;
}

RecordedRun loadRecordedRun(const fs::path& given) {
    // A results root (bProj/results) stands for its last complete run.
    std::error_code ec;
    const fs::path place = !fs::exists(given / "summary.json", ec) &&
                                   fs::is_directory(given / "latest", ec)
                               ? given / "latest"
                               : given;
    for (const auto& reader : recordedRunReaders())
        if (reader->recognises(place)) return reader->read(place);
    throw runtime::InputError(place.string() +
                              ": no recorded run here (a results folder holds summary.json and "
                              "trajectories.csv; a motion recording is a KVX file)");
}

}  // namespace viewer
