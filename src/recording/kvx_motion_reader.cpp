#include "recording/kvx_motion.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "recording/kvx_motion_rows.h"

namespace recording {

namespace {

using namespace kvx_rows;

// Reads the lines of a motion file, naming file and line in its errors.
class LineReader {
  public:
    LineReader(std::string text, std::filesystem::path file)
        : text_(std::move(text)), file_(std::move(file)) {}

    [[noreturn]] void fail(const std::string& why) const {
        throw MotionFileError(platform::capped(file_.string()) + ":" + std::to_string(line_) +
                              ": " + why);
    }

    bool atEnd() const { return at_ >= text_.size(); }

    // The next line without its line end (LF or CR LF).
    std::string_view next() {
        if (atEnd()) {
            ++line_;
            fail("the file ends early");
        }
        std::size_t end = text_.find('\n', at_);
        if (end == std::string::npos) end = text_.size();
        std::string_view l(text_.data() + at_, end - at_);
        at_ = end + 1;
        ++line_;
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        return l;
    }

    std::string_view peek() const {
        if (atEnd()) return {};
        std::size_t end = text_.find('\n', at_);
        if (end == std::string::npos) end = text_.size();
        std::string_view l(text_.data() + at_, end - at_);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        return l;
    }

    // The rest of the next line after `prefix`, which it must start with.
    std::string_view expect(std::string_view prefix, std::string_view what) {
        const std::string_view l = next();
        if (l.substr(0, prefix.size()) != prefix)
            fail("expected " + std::string(what) + " (\"" + std::string(prefix) + "...\")");
        return l.substr(prefix.size());
    }

    double number(std::string_view text, std::string_view what) const {
        double v = 0.0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
            fail(std::string(what) + " is not a number: \"" + platform::capped(text, 40) + "\"");
        if (std::fabs(v) > kMaxMotionCoordinate)
            fail(std::string(what) + " " + platform::capped(text, 40) +
                 " is out of range (at most 1e7 either way)");
        return v;
    }

    // `count` numbers separated by commas (and spaces after them).
    std::vector<double> numbers(std::string_view text, int count, std::string_view what) const {
        std::vector<double> out;
        for (int k = 0; k < count; ++k) {
            const std::size_t comma = k + 1 < count ? text.find(',') : text.size();
            if (comma == std::string_view::npos)
                fail(std::string(what) + " needs " + std::to_string(count) + " numbers");
            std::string_view field = text.substr(0, comma);
            while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
            out.push_back(number(field, what));
            text = k + 1 < count ? text.substr(comma + 1) : std::string_view();
        }
        return out;
    }

    long long whole(std::string_view text, std::string_view what) const {
        long long v = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < 0)
            fail(std::string(what) + " is not a whole number: \"" + platform::capped(text, 40) +
                 "\"");
        return v;
    }

  private:
    std::string text_;
    std::filesystem::path file_;
    std::size_t at_ = 0;
    int line_ = 0;
};

MotionPose readPose(const LineReader& in, std::string_view l) {
    const std::size_t colon = l.find(':');
    if (colon == std::string_view::npos) in.fail("a pose needs \"actor: x, y, z, heading\"");
    MotionPose p;
    p.actor = static_cast<int>(in.whole(l.substr(0, colon), "the actor"));
    const auto v = in.numbers(l.substr(colon + 1), 4, "a coordinate");
    p.x = v[0];
    p.y = v[1];
    p.z = v[2];
    p.heading = v[3];
    return p;
}

}  // namespace

Motion readMotion(const std::filesystem::path& file) {
    std::string text;
    try {
        text = platform::readRegularFile(file, kMaxFileBytes);
    } catch (const platform::InputFileError& e) {
        throw MotionFileError(e.what());
    }
    LineReader in(std::move(text), file);
    Motion m;
    if (in.next() != kHeader) in.fail("not a KVX text file (the first line is not \"KVX TEXT 2.1\")");
    while (in.peek().substr(0, 1) == ";") in.next();
    m.name = std::string(in.expect(kScene, "the scene"));
    m.metresPerUnit = in.number(in.expect(kUnits, "the scene's units"), "Units");
    if (!(m.metresPerUnit > 0.0)) in.fail("Units must be above 0");
    in.expect(kUpAxis, "the up axis");
    if (in.peek() == kFloor) {
        in.next();
        while (in.peek().substr(0, kPolygon.size()) == kPolygon) {
            const long long n = in.whole(in.next().substr(kPolygon.size()), "the vertex count");
            if (n < 3 || n > 1'000'000) in.fail("a polygon needs 3 to 1000000 vertices");
            std::vector<MotionPoint> polygon;
            for (long long k = 0; k < n; ++k) {
                const auto v = in.numbers(in.expect(kVertex, "a vertex"), 3, "a vertex");
                polygon.push_back({v[0], v[2]});
            }
            m.floor.push_back(std::move(polygon));
        }
    }
    while (in.peek().substr(0, kExit.size()) == kExit) {
        MotionExit e;
        e.name = std::string(in.next().substr(kExit.size()));
        const std::string_view kind = in.expect(kKind, "the exit's kind");
        if (kind != "door" && kind != "line") in.fail("an exit is a door or a line");
        e.door = kind == "door";
        const auto v = in.numbers(in.expect(kOpening, "the exit's opening"), 6, "the opening");
        e.from = {v[0], v[2]};
        e.to = {v[3], v[5]};
        m.exits.push_back(std::move(e));
    }
    if (in.peek() == kCamera) {
        in.next();
        MotionCamera cam;
        const auto p = in.numbers(in.expect(kPosition, "the camera's position"), 3, "Position");
        cam.x = p[0];
        cam.y = p[1];
        cam.z = p[2];
        cam.rotationY = in.number(in.expect(kRotationY, "the camera's turn"), "RotationY");
        cam.fovY = in.number(in.expect(kFovY, "the camera's field of view"), "FovY");
        if (!(cam.fovY > 0.0 && cam.fovY < 180.0)) in.fail("FovY must lie between 0 and 180");
        m.camera = cam;
    }
    // The run's notes (files written before notes were kept have none).
    while (in.peek().substr(0, kNote.size()) == kNote)
        m.notes.emplace_back(in.next().substr(kNote.size()));
    in.expect(kMotion, "a motion block");
    m.frameRate = in.number(in.expect(kFrameRate, "the frame rate"), "FrameRate");
    if (!(m.frameRate > 0.0)) in.fail("FrameRate must be above 0");
    const long long actorCount = in.whole(in.expect(kActorCount, "the actor count"), "ActorCount");
    if (actorCount > 10'000'000) in.fail("too many actors");
    std::vector<char> declared;
    for (long long k = 0; k < actorCount; ++k) {
        MotionActor a;
        a.id = static_cast<int>(in.whole(in.expect(kActor, "an actor"), "the actor's number"));
        if (a.id > 10'000'000) in.fail("the actor's number is too large");
        a.role = std::string(in.expect(kRole, "the actor's role"));
        a.radius = in.number(in.expect(kRadius, "the actor's radius"), "Radius");
        if (static_cast<std::size_t>(a.id) >= declared.size()) declared.resize(a.id + 1u, 0);
        if (declared[a.id]) in.fail("actor " + std::to_string(a.id) + " is declared twice");
        declared[a.id] = 1;
        m.actors.push_back(std::move(a));
    }
    in.expect(kFrameList, "the frame list");
    if (in.peek() == kColumns) in.next();
    while (in.peek().substr(0, kFrame.size()) == kFrame) {
        const std::string_view head = in.next().substr(kFrame.size());
        const std::size_t space = head.find(' ');
        if (space == std::string_view::npos) in.fail("a frame needs its number and time");
        const long long index = in.whole(head.substr(0, space), "the frame number");
        if (index != static_cast<long long>(m.frames.size()))
            in.fail("frame " + std::to_string(m.frames.size()) + " expected here");
        MotionFrame f;
        f.time = in.number(head.substr(space + 1), "the frame's time");
        while (in.peek().substr(0, kPose.size()) == kPose) {
            MotionPose p = readPose(in, in.next().substr(kPose.size()));
            if (static_cast<std::size_t>(p.actor) >= declared.size() || !declared[p.actor])
                in.fail("actor " + std::to_string(p.actor) + " is not declared");
            if (!f.poses.empty() && p.actor <= f.poses.back().actor)
                in.fail("the actors of a frame must ascend");
            f.poses.push_back(p);
        }
        m.frames.push_back(std::move(f));
    }
    const long long frameCount = in.whole(in.expect(kFrameCount, "the frame count"), "FrameCount");
    if (frameCount != static_cast<long long>(m.frames.size()))
        in.fail("FrameCount says " + std::to_string(frameCount) + " but the file holds " +
                std::to_string(m.frames.size()) + " frames");
    m.end.evacuationTime =
        in.number(in.expect(kEvacuationTime, "the evacuation time"), "EvacuationTime");
    const std::string_view out = in.expect(kEveryoneOut, "whether everyone got out");
    if (out != "0" && out != "1") in.fail("EveryoneOut is 0 or 1");
    m.end.everyoneOut = out == "1";
    in.expect(kLeaveList, "the list of who left");
    if (in.peek() == kLeaveColumns) in.next();
    while (in.peek().substr(0, kLeaving.size()) == kLeaving) {
        const std::string_view l = in.next().substr(kLeaving.size());
        const std::size_t colon = l.find(':');
        if (colon == std::string_view::npos) in.fail("expected \"actor: exit, time\"");
        MotionLeaving who;
        who.actor = static_cast<int>(in.whole(l.substr(0, colon), "the actor"));
        if (static_cast<std::size_t>(who.actor) >= declared.size() || !declared[who.actor])
            in.fail("actor " + std::to_string(who.actor) + " is not declared");
        const auto v = in.numbers(l.substr(colon + 1), 2, "the exit and time");
        if (v[0] < 0 || v[0] >= static_cast<double>(m.exits.size()) || v[0] != std::floor(v[0]))
            in.fail("actor " + std::to_string(who.actor) + " left by no exit of the file");
        who.exit = static_cast<int>(v[0]);
        who.time = v[1];
        m.end.leaving.push_back(who);
    }
    if (in.next() != kEnd) in.fail("expected \"EndScene\"");
    return m;
}

}  // namespace recording
