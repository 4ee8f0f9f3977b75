#pragma once
// The people's motion as a KVX text scene: who moves (one actor per person,
// with role and radius) and, frame by frame at a fixed rate, where each
// person inside stands and which way they face. docs/kvx-format.md
// ("Motion recordings") shows the layout. The writer streams frames to a
// temporary file renamed over the target when complete; the reader gives
// back exactly what was written (to the six decimals of the text).

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/input_error.h"

namespace recording {

struct MotionActor {
    int id = 0;        // the person's number, as in trajectories.csv
    std::string role;  // "adult", "child", "parent", "jogging child", "person"
    double radius = 0.0;  // body radius, scene units
};

// One person at one frame, in scene units on the floor (x-z plane, y up).
// heading: radians about the vertical axis, 0 facing +z, pi/2 facing +x
// (the walking direction; kept while the person stands still).
struct MotionPose {
    int actor = 0;  // MotionActor::id
    double x = 0.0, y = 0.0, z = 0.0;
    double heading = 0.0;
};

// Where the people walk, so that a replay can draw the scene from the file
// alone. Points on the floor plane in scene units: x, and z as the second.
struct MotionPoint {
    double x = 0.0, z = 0.0;
};

struct MotionExit {
    std::string name;  // "exit 1"
    bool door = true;  // a gap in a wall; else a target line on the floor
    MotionPoint from, to;
};

// The project's script camera: position in scene units, turned by
// `rotationY` radians about the vertical axis, vertical field of view in
// degrees.
struct MotionCamera {
    double x = 0.0, y = 0.0, z = 0.0;
    double rotationY = 0.0;
    double fovY = 60.0;
};

struct MotionFrame {
    double time = 0.0;              // simulated seconds
    std::vector<MotionPose> poses;  // the people inside, ascending by actor
};

// Someone who got out: by which exit (index into Motion::exits) and when.
struct MotionLeaving {
    int actor = 0;
    int exit = 0;
    double time = 0.0;  // simulated seconds
};

// How the run ended, written after the frames.
struct MotionEnd {
    double evacuationTime = 0.0;  // the last person out, or the end of the run
    bool everyoneOut = false;
    std::vector<MotionLeaving> leaving;  // ascending by actor
};

struct Motion {
    std::string name;           // the scene's name
    double metresPerUnit = 1.0;  // 0.1 for projects (world units are decimetres)
    double frameRate = 24.0;     // frames per simulated second
    // The walkable floor: polygons combined even-odd (one inside another is
    // a hole), and the exits as opened.
    std::vector<std::vector<MotionPoint>> floor;
    std::vector<MotionExit> exits;
    std::optional<MotionCamera> camera;  // projects only
    std::vector<std::string> notes;      // the run's notes, as its report says them
    std::vector<MotionActor> actors;
    std::vector<MotionFrame> frames;  // frame k at time k / frameRate
    MotionEnd end;
};

// The largest number (coordinate, time, radius) a motion file may hold,
// either way: 10,000 km in metres, far beyond any floor, and small enough
// that a replay's bounds and grids stay small. Larger is refused by name.
inline constexpr double kMaxMotionCoordinate = 1.0e7;

// A motion file that cannot be read; what() names the file and line.
class MotionFileError : public platform::InputError {
  public:
    using platform::InputError::InputError;
};

// Reads a motion recording. Throws MotionFileError.
Motion readMotion(const std::filesystem::path& file);

class MotionWriter {
  public:
    // Opens a temporary file beside `target` and writes the scene's head
    // (`header` without frames). Nothing is thrown: a target that cannot be
    // written makes problem() say why, and finish() throw.
    MotionWriter(std::filesystem::path target, const Motion& header);
    ~MotionWriter();  // discards the temporary file unless finished
    MotionWriter(const MotionWriter&) = delete;
    MotionWriter& operator=(const MotionWriter&) = delete;

    void frame(const MotionFrame& frame);
    // Ends the scene and renames the file over the target. Throws
    // std::runtime_error naming the target when it could not be written.
    void finish(const MotionEnd& end);

    int frames() const;
    std::string problem() const;
    const std::filesystem::path& target() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace recording
