#include "viewer/motion_file_reader.h"

#include <algorithm>
#include <fstream>
#include <string>

namespace viewer {

namespace {

crowd::Role roleOf(const std::string& name) {
    for (crowd::Role r : {crowd::Role::Person, crowd::Role::Child, crowd::Role::Parent,
                          crowd::Role::Adult, crowd::Role::JoggingChild})
        if (name == crowd::roleName(r)) return r;
    return crowd::Role::Person;
}

}  // namespace

bool MotionFileReader::recognises(const std::filesystem::path& place) const {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(place, ec)) return false;
    std::ifstream in(place, std::ios::binary);
    std::string first(12, '\0');
    in.read(first.data(), static_cast<std::streamsize>(first.size()));
    return in && first == "KVX TEXT 2.1";
}

RecordedRun MotionFileReader::read(const std::filesystem::path& place) const {
    return recordedRunOf(recording::readMotion(place));
}

RecordedRun recordedRunOf(const recording::Motion& m) {
    const double metres = m.metresPerUnit;
    auto at = [metres](double x, double z) { return crowd::Vec2{x * metres, z * metres}; };
    RecordedRun run;
    run.title = m.name;
    run.notes = m.notes;
    for (const auto& polygon : m.floor) {
        crowd::Polygon p;
        for (const recording::MotionPoint& v : polygon) p.push_back(at(v.x, v.z));
        run.scene.floor.push_back(std::move(p));
    }
    for (const recording::MotionExit& e : m.exits)
        run.scene.exits.push_back({e.name, e.door, {at(e.from.x, e.from.z), at(e.to.x, e.to.z)}});
    run.scene.walls = scene::wallsWithoutGaps(run.scene.floor, run.scene.exits);
    // People by number (the numbers may leave gaps).
    int people = 0;
    for (const recording::MotionActor& a : m.actors) people = std::max(people, a.id + 1);
    run.scene.people.resize(static_cast<std::size_t>(people));
    for (const recording::MotionActor& a : m.actors)
        run.scene.people[static_cast<std::size_t>(a.id)] = {roleOf(a.role), a.radius * metres};
    for (const recording::MotionFrame& f : m.frames) {
        LiveFrame frame;
        frame.frame.time = f.time;
        for (const recording::MotionPose& p : f.poses) {
            frame.frame.people.push_back(p.actor);
            frame.frame.positions.push_back(at(p.x, p.z));
        }
        run.frames.push_back(std::move(frame));
    }
    std::vector<std::pair<int, double>> leaving;
    for (const recording::MotionLeaving& who : m.end.leaving)
        leaving.push_back({who.exit, who.time});
    run.everyoneOut = m.end.everyoneOut;
    run.evacuationTime = m.end.evacuationTime;
    endWhenEveryoneIsOut(run);
    countOutByExit(run.frames, run.scene.exits.size(), leaving);
    if (m.camera)
        run.scriptCamera =
            scene::Vec3{m.camera->x * metres, m.camera->y * metres, m.camera->z * metres};
    return run;
}

}  // namespace viewer
