#pragma once
// A run that was recorded: what a replay shows. Readers of the formats a run
// can be saved in fill one of these; the window does not care which.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scene/camera.h"
#include "scene/scene.h"
#include "viewer/live_feed.h"

namespace viewer {

struct RecordedRun {
    std::string title;
    scene::SceneDescription scene;  // floor, exits, people with roles and radii (metres)
    std::vector<LiveFrame> frames;  // in time order, with the people out by each exit
    std::vector<std::string> notes;
    bool everyoneOut = false;
    double evacuationTime = 0.0;              // when the last person left (or the run ended)
    std::optional<scene::Vec3> scriptCamera;  // metres; projects only
};

// Reads one format. A reader that recognises a folder (or file) reads it or
// throws runtime::InputError naming the file and what is wrong with it.
class RecordedRunReader {
  public:
    virtual ~RecordedRunReader() = default;
    virtual bool recognises(const std::filesystem::path& place) const = 0;
    virtual RecordedRun read(const std::filesystem::path& place) const = 0;
};

// mvnrt's results folder: summary.json and trajectories.csv (and the
// project's script camera when the folder lies in a project, bProj/results).
class ResultsFolderReader : public RecordedRunReader {
  public:
    bool recognises(const std::filesystem::path& place) const override;
    RecordedRun read(const std::filesystem::path& place) const override;
};

// The readers there are, tried in order.
std::vector<std::unique_ptr<RecordedRunReader>> recordedRunReaders();

// Reads `place` with the first reader that recognises it. Throws
// runtime::InputError naming the place when none does.
RecordedRun loadRecordedRun(const std::filesystem::path& place);

// When everyone got out after the last frame: one more frame, empty, at the
// evacuation time (frames are saved at a fixed rate; the last person leaves
// between two of them).
void endWhenEveryoneIsOut(RecordedRun& run);

// People out by each exit at each frame's time, from when each person left
// (exit index, or -1 for someone who never left, and the time).
void countOutByExit(std::vector<LiveFrame>& frames, std::size_t exits,
                    const std::vector<std::pair<int, double>>& leaving);

}  // namespace viewer
