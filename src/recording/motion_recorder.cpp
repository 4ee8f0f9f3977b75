#include "recording/motion_recorder.h"

#include <cmath>
#include <utility>

#include "crowd/world.h"
#include "recording/kvx_motion.h"

namespace recording {

namespace {

// Motion files are sampled like the script's recording: 24 frames per
// simulated second.
constexpr double kMotionFrameRate = 24.0;
// Below this speed (m/s) a person counts as standing and keeps the heading
// of their last step, so that jitter in a crowd does not spin them around.
constexpr double kTurningSpeed = 0.05;

}  // namespace

struct MotionRecorder::Impl {
    std::filesystem::path target;
    std::string sceneName;
    double scale;
    std::vector<std::string> exitNames;
    std::optional<MotionCamera> camera;
    std::vector<std::string> notes;
    const crowd::Simulation* sim = nullptr;
    std::unique_ptr<MotionWriter> writer;
    std::vector<double> heading;  // per person, radians
    MotionFrame frame;
    runtime::Recording done;
    bool finished = false;
};

MotionRecorder::MotionRecorder(std::filesystem::path target, std::string sceneName,
                               double unitsPerMetre, std::string note,
                               std::vector<std::string> exitNames,
                               std::optional<MotionCamera> camera)
    : impl_(std::make_unique<Impl>()) {
    impl_->exitNames = std::move(exitNames);
    impl_->camera = camera;
    impl_->done.note = std::move(note);
    impl_->target = std::move(target);
    impl_->sceneName = std::move(sceneName);
    impl_->scale = unitsPerMetre;
}

MotionRecorder::~MotionRecorder() = default;

void MotionRecorder::setNotes(std::vector<std::string> notes) { impl_->notes = std::move(notes); }

std::string MotionRecorder::recordingTarget() const {
    return "motion " + impl_->target.string();
}

double MotionRecorder::frameRate() const { return kMotionFrameRate; }

void MotionRecorder::begin(const crowd::Simulation& sim) {
    Impl& m = *impl_;
    m.sim = &sim;
    Motion header;
    header.name = m.sceneName;
    header.metresPerUnit = 1.0 / m.scale;
    header.frameRate = kMotionFrameRate;
    // The crowd's plane (x, y) is the scene's floor (x, z).
    auto point = [&m](crowd::Vec2 p) { return MotionPoint{p.x * m.scale, p.y * m.scale}; };
    for (const crowd::Polygon& polygon : sim.world().area().polygons()) {
        header.floor.emplace_back();
        for (const crowd::Vec2& v : polygon) header.floor.back().push_back(point(v));
    }
    const auto& exits = sim.world().exits();
    for (std::size_t e = 0; e < exits.size(); ++e)
        header.exits.push_back({e < m.exitNames.size() ? m.exitNames[e] : exits[e].name,
                                exits[e].kind == crowd::ExitKind::Door, point(exits[e].opening.a),
                                point(exits[e].opening.b)});
    header.camera = m.camera;
    header.notes = m.notes;
    const auto& people = sim.setup().people;
    for (std::size_t i = 0; i < people.size(); ++i)
        header.actors.push_back(
            {static_cast<int>(i), crowd::roleName(people[i].role), sim.radius(static_cast<int>(i)) * m.scale});
    m.heading.assign(people.size(), 0.0);
    m.writer = std::make_unique<MotionWriter>(m.target, header);
}

void MotionRecorder::frame(const crowd::FrameView& f) {
    Impl& m = *impl_;
    if (!m.writer || !m.writer->problem().empty()) return;
    m.frame.time = f.time;
    m.frame.poses.resize(f.people.size());
    for (std::size_t k = 0; k < f.people.size(); ++k) {
        const int i = f.people[k];
        const crowd::Vec2 v = m.sim->velocity(i);
        if (std::hypot(v.x, v.y) > kTurningSpeed) m.heading[i] = std::atan2(v.x, v.y);
        m.frame.poses[k] = {i, f.positions[k].x * m.scale, 0.0, f.positions[k].y * m.scale,
                            m.heading[i]};
    }
    m.writer->frame(m.frame);
}

void MotionRecorder::finish(const crowd::Simulation& sim, const runtime::RunSummary& summary) {
    Impl& m = *impl_;
    if (!m.writer) return;
    MotionEnd end;
    end.evacuationTime = summary.evacuationTime;
    end.everyoneOut = summary.everyoneOut;
    for (int i = 0; i < static_cast<int>(sim.peopleCount()); ++i)
        if (sim.exitUsed(i) >= 0) end.leaving.push_back({i, sim.exitUsed(i), sim.exitTime(i)});
    m.writer->finish(end);  // throws naming the file
    m.finished = true;
    m.done.kind = "motion";
    m.done.file = m.target.string();
    m.done.frames = m.writer->frames();
    m.done.seconds = m.done.frames / kMotionFrameRate;
}

std::vector<std::string> MotionRecorder::written() const {
    if (!impl_->finished) return {};
    return {runtime::recordingLine(impl_->done)};
}

std::vector<runtime::Recording> MotionRecorder::recordings() const {
    if (!impl_->finished) return {};
    return {impl_->done};
}

}  // namespace recording
