#include "recording/kvx_motion.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "platform/number_text.h"
#include "platform/safe_output.h"
#include "recording/kvx_motion_rows.h"

namespace recording {

namespace {

using namespace kvx_rows;

void appendNumber(std::string& out, double value) {
    // No "-0.000000" (a tiny negative rounds to zero without its sign).
    out.append(platform::fixedText(value, kDecimals));
}

void appendInt(std::string& out, long long value) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, value);
    out.append(text, r.ptr);
}

}  // namespace

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
