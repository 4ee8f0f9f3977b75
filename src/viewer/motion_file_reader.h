#pragma once
// A replay of a KVX motion recording ("Create KVX", --motion): the file
// holds the floor, the exits, the script camera and everyone's motion, so
// it replays on its own.

#include <filesystem>

#include "recording/kvx_motion.h"
#include "viewer/recorded_run.h"

namespace viewer {

class MotionFileReader : public RecordedRunReader {
  public:
    // A file whose first line is the KVX header.
    bool recognises(const std::filesystem::path& place) const override;
    RecordedRun read(const std::filesystem::path& place) const override;
};

// The run a motion recording shows, in metres.
RecordedRun recordedRunOf(const recording::Motion& motion);

}  // namespace viewer
