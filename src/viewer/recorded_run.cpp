#include "viewer/recorded_run.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/safe_input.h"
#include "runtime/project.h"
#include "runtime/startup_script.h"
#include "viewer/motion_file_reader.h"

namespace viewer {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr std::uint64_t kMaxSummaryBytes = 256ull << 20;
constexpr std::uint64_t kMaxTrajectoryBytes = 4ull << 30;
// Positions held for a replay at most; longer runs keep every k-th frame.
constexpr std::size_t kMaxPositions = 40'000'000;

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
    return {x, z};
}

// trajectories.csv: "time,person,x,z" rows, one frame after the other.
std::vector<LiveFrame> readTrajectories(const fs::path& file, double u, std::size_t people) {
    const std::string text = platform::readRegularFile(file, kMaxTrajectoryBytes);
    std::vector<LiveFrame> frames;
    std::size_t pos = text.find('\n');
    if (text.rfind("time,person,x,z", 0) != 0 || pos == std::string::npos)
        bad(file, "line 1 is not \"time,person,x,z\"");
    ++pos;
    std::size_t line = 1;
    double lastTime = -1.0;
    while (pos < text.size()) {
        ++line;
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        double v[4];
        const char* p = text.data() + pos;
        const char* e = text.data() + end;
        if (e > p && e[-1] == '\r') --e;
        for (int k = 0; k < 4; ++k) {
            const auto r = std::from_chars(p, e, v[k]);
            if (r.ec != std::errc() || !std::isfinite(v[k]) ||
                (k < 3 && (r.ptr == e || *r.ptr != ',')) || (k == 3 && r.ptr != e))
                bad(file, "line " + std::to_string(line) + " is not \"time,person,x,z\"");
            p = r.ptr + 1;
        }
        const int id = static_cast<int>(v[1]);
        if (v[1] != id || id < 0 || static_cast<std::size_t>(id) >= people)
            bad(file, "line " + std::to_string(line) + ": no person " + std::to_string(v[1]));
        if (v[0] < lastTime) bad(file, "line " + std::to_string(line) + ": time goes back");
        if (v[0] != lastTime) {
            frames.push_back({});
            frames.back().frame.time = v[0];
            lastTime = v[0];
        }
        frames.back().frame.people.push_back(id);
        frames.back().frame.positions.push_back({v[2] / u, v[3] / u});
        pos = end + 1;
    }
    // Keep the replay within memory: every k-th frame of a very long run.
    std::size_t total = 0;
    for (const LiveFrame& f : frames) total += f.frame.people.size();
    const std::size_t keepEvery = total / kMaxPositions + 1;
    if (keepEvery > 1) {
        std::vector<LiveFrame> kept;
        for (std::size_t i = 0; i < frames.size(); i += keepEvery)
            kept.push_back(std::move(frames[i]));
        frames = std::move(kept);
    }
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
        const double u = j.at("units").at("unitsPerMetre").get<double>();
        if (!(u > 0.0) || !std::isfinite(u)) bad(summaryFile, "units.unitsPerMetre is not above 0");
        run.title = j.value("name", std::string());
        if (!j.contains("walkable"))
            bad(summaryFile, "has no \"walkable\" floor (written by an older mvnrt; run it again)");
        for (const json& ring : j.at("walkable")) {
            crowd::Polygon poly;
            for (const json& v : ring) poly.push_back(point(v, u, summaryFile, "a floor vertex"));
            run.scene.floor.push_back(std::move(poly));
        }
        std::vector<std::string> exitNames;
        for (const json& e : j.at("exits")) {
            scene::SceneExit x;
            x.name = e.at("name").get<std::string>();
            x.door = e.at("kind").get<std::string>() == "door in a wall";
            x.opening = {point(e.at("openingFrom"), u, summaryFile, "an exit's openingFrom"),
                         point(e.at("openingTo"), u, summaryFile, "an exit's openingTo")};
            exitNames.push_back(x.name);
            run.scene.exits.push_back(std::move(x));
        }
        run.scene.walls = scene::wallsWithoutGaps(run.scene.floor, run.scene.exits);
        std::vector<std::pair<int, double>> leaving;
        for (const json& p : j.at("persons")) {
            run.scene.people.push_back(
                {roleNamed(p.at("role").get<std::string>()), p.at("radius").get<double>()});
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
                    run.scriptCamera = scene::Vec3{s.cameraX / runtime::kProjectUnitsPerMetre,
                                                   s.cameraY / runtime::kProjectUnitsPerMetre,
                                                   s.cameraZ / runtime::kProjectUnitsPerMetre};
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
