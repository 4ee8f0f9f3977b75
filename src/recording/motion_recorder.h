#pragma once
// Records the people's motion of a run into a KVX motion file, at 24 frames
// per simulated second: every person as an actor (number, role, radius),
// then per frame each person inside with position and heading, in the run's
// output units (world units for projects, metres for scenarios).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording/kvx_motion.h"
#include "run/frame_sink.h"

namespace recording {

class MotionRecorder : public runtime::FrameSink {
  public:
    // `sceneName` names the scene in the file; positions are scaled by
    // `unitsPerMetre` like trajectories.csv.
    // `note` goes with the recording into the report; the exits are named
    // `exitNames` (by index), and `camera` (scene units) is the project's.
    MotionRecorder(std::filesystem::path target, std::string sceneName, double unitsPerMetre,
                   std::string note = {}, std::vector<std::string> exitNames = {},
                   std::optional<MotionCamera> camera = std::nullopt);
    ~MotionRecorder() override;

    // The run's notes, kept in the file for a replay (before begin()).
    void setNotes(std::vector<std::string> notes);

    double frameRate() const override;
    void begin(const crowd::Simulation& sim) override;
    void frame(const crowd::FrameView& f) override;
    void finish(const crowd::Simulation& sim, const runtime::RunSummary& summary) override;
    std::vector<std::string> written() const override;
    std::vector<runtime::Recording> recordings() const override;
    std::string recordingTarget() const override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace recording
