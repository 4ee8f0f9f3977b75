#include "recording/kvx_motion.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "platform/number_text.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"

namespace recording {

namespace {

// The rows of a motion scene, each with the tabs before it. Writer and reader
// share them.
constexpr std::string_view kHeader = "KVX TEXT 2.1";
constexpr std::string_view kComment = "; people's motion recorded by mvnrt";
constexpr std::string_view kScene = "TW_Scene SCN-";
constexpr std::string_view kUnits = "\tUnits ";
constexpr std::string_view kUpAxis = "\tUpAxis Y";
constexpr std::string_view kFloor = "\tTW_Floor FLR-walkable";
constexpr std::string_view kPolygon = "\t\tTW_Polygon ";
constexpr std::string_view kVertex = "\t\t\t";
constexpr std::string_view kExit = "\tTW_Exit EXT-";
constexpr std::string_view kKind = "\t\tKind ";
constexpr std::string_view kOpening = "\t\tOpening ";
constexpr std::string_view kCamera = "\tTW_Camera CAM-script";
constexpr std::string_view kPosition = "\t\tPosition ";
constexpr std::string_view kRotationY = "\t\tRotationY ";
constexpr std::string_view kFovY = "\t\tFovY ";
constexpr std::string_view kNote = "\tTW_Note ";
constexpr std::string_view kMotion = "\tTW_Motion MOT-";
constexpr std::string_view kFrameRate = "\t\tFrameRate ";
constexpr std::string_view kActorCount = "\t\tActorCount ";
constexpr std::string_view kActor = "\t\tTW_Actor ACT-";
constexpr std::string_view kRole = "\t\t\tRole ";
constexpr std::string_view kRadius = "\t\t\tRadius ";
constexpr std::string_view kFrameList = "\t\tTW_FrameList";
constexpr std::string_view kColumns = "\t\t\t; actor: x, y, z, heading";
constexpr std::string_view kFrame = "\t\t\tTW_Frame ";
constexpr std::string_view kPose = "\t\t\t\t";
constexpr std::string_view kFrameCount = "\t\tFrameCount ";
constexpr std::string_view kEvacuationTime = "\t\tEvacuationTime ";
constexpr std::string_view kEveryoneOut = "\t\tEveryoneOut ";
constexpr std::string_view kLeaveList = "\t\tTW_LeaveList";
constexpr std::string_view kLeaveColumns = "\t\t\t; actor: exit, time";
constexpr std::string_view kLeaving = "\t\t\t";
constexpr std::string_view kEnd = "EndScene";
// Lines end in CR LF like other KVX scenes; the reader takes LF as well.
constexpr std::string_view kEol = "\r\n";
constexpr int kDecimals = 6;
// Longer files are refused before reading: about 20 million poses.
constexpr std::uint64_t kMaxFileBytes = 1ull << 30;

void appendNumber(std::string& out, double value) {
    // No "-0.000000" (a tiny negative rounds to zero without its sign).
    out.append(platform::fixedText(value, kDecimals));
}

void appendInt(std::string& out, long long value) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, value);
    out.append(text, r.ptr);
}

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

struct MotionWriter::Impl {
    platform::AtomicFile file;
    std::string buffer;
    int frames = 0;
    bool finished = false;
    explicit Impl(std::filesystem::path target)
        : file(std::move(target), platform::Durability::WhenReplacing,
               platform::Replacing::RegularFileOnly) {}

    void line(std::string_view prefix, std::string_view rest = {}) {
        buffer.append(prefix);
        buffer.append(rest);
        buffer.append(kEol);
    }
    // A line of one number after its prefix.
    void number(std::string_view prefix, double value) {
        buffer.append(prefix);
        appendNumber(buffer, value);
        buffer.append(kEol);
    }
    void count(std::string_view prefix, long long value) {
        buffer.append(prefix);
        appendInt(buffer, value);
        buffer.append(kEol);
    }
    void flushIfLarge() {
        if (buffer.size() < (1u << 20)) return;
        file.write(buffer);
        buffer.clear();
    }
};

namespace {
// A name stays on its one line: control characters become spaces.
std::string oneLine(std::string_view name, std::size_t longest = 200) {
    std::string out(platform::capped(name, longest));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return out;
}
}  // namespace

MotionWriter::MotionWriter(std::filesystem::path target, const Motion& header)
    : impl_(std::make_unique<Impl>(std::move(target))) {
    Impl& w = *impl_;
    std::string n;
    w.line(kHeader);
    w.line(kComment);
    w.line(kScene, oneLine(header.name));
    w.number(kUnits, header.metresPerUnit);
    w.line(kUpAxis);
    auto triple = [&n](double x, double y, double z) {
        n.clear();
        appendNumber(n, x);
        n.append(", ");
        appendNumber(n, y);
        n.append(", ");
        appendNumber(n, z);
        return n;
    };
    if (!header.floor.empty()) {
        w.line(kFloor);
        for (const auto& polygon : header.floor) {
            w.count(kPolygon, static_cast<long long>(polygon.size()));
            for (const MotionPoint& p : polygon) w.line(kVertex, triple(p.x, 0.0, p.z));
        }
    }
    for (const MotionExit& e : header.exits) {
        w.line(kExit, oneLine(e.name));
        w.line(kKind, e.door ? "door" : "line");
        std::string opening = triple(e.from.x, 0.0, e.from.z) + ", ";
        opening += triple(e.to.x, 0.0, e.to.z);
        w.line(kOpening, opening);
    }
    if (header.camera) {
        const MotionCamera& cam = *header.camera;
        w.line(kCamera);
        w.line(kPosition, triple(cam.x, cam.y, cam.z));
        w.number(kRotationY, cam.rotationY);
        w.number(kFovY, cam.fovY);
    }
    for (const std::string& note : header.notes) w.line(kNote, oneLine(note, 2000));
    w.line(kMotion, oneLine(header.name));
    w.number(kFrameRate, header.frameRate);
    w.count(kActorCount, static_cast<long long>(header.actors.size()));
    for (const MotionActor& a : header.actors) {
        w.count(kActor, a.id);
        w.line(kRole, oneLine(a.role));
        w.number(kRadius, a.radius);
    }
    w.line(kFrameList);
    w.line(kColumns);
    w.flushIfLarge();
}

MotionWriter::~MotionWriter() = default;  // the AtomicFile discards an unfinished file

void MotionWriter::frame(const MotionFrame& f) {
    Impl& w = *impl_;
    if (w.finished) return;
    w.buffer.append(kFrame);
    appendInt(w.buffer, w.frames++);
    w.buffer.push_back(' ');
    appendNumber(w.buffer, f.time);
    w.buffer.append(kEol);
    for (const MotionPose& p : f.poses) {
        w.buffer.append(kPose);
        appendInt(w.buffer, p.actor);
        w.buffer.append(": ");
        appendNumber(w.buffer, p.x);
        w.buffer.append(", ");
        appendNumber(w.buffer, p.y);
        w.buffer.append(", ");
        appendNumber(w.buffer, p.z);
        w.buffer.append(", ");
        appendNumber(w.buffer, p.heading);
        w.buffer.append(kEol);
    }
    w.flushIfLarge();
}

void MotionWriter::finish(const MotionEnd& end) {
    Impl& w = *impl_;
    if (w.finished) return;
    w.count(kFrameCount, w.frames);
    w.number(kEvacuationTime, end.evacuationTime);
    std::string n;
    w.line(kEveryoneOut, end.everyoneOut ? "1" : "0");
    w.line(kLeaveList);
    w.line(kLeaveColumns);
    for (const MotionLeaving& who : end.leaving) {
        n.clear();
        appendInt(n, who.actor);
        n.append(": ");
        appendInt(n, who.exit);
        n.append(", ");
        appendNumber(n, who.time);
        w.line(kLeaving, n);
    }
    w.line(kEnd);
    w.file.write(w.buffer);
    w.buffer.clear();
    if (!w.file.commit()) throw std::runtime_error(w.file.problem());
    w.finished = true;
}

int MotionWriter::frames() const { return impl_->frames; }
std::string MotionWriter::problem() const { return impl_->file.problem(); }
const std::filesystem::path& MotionWriter::target() const { return impl_->file.target(); }

}  // namespace recording
