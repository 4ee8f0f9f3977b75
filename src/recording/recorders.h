#pragma once
// The recordings a run makes: the movie and the motion file that a project's
// script asks for ("Create AVI", "Create KVX"), or that mvnrt's options name
// (--movie, --motion), as frame sinks of the run.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/frame_sink.h"
#include "inputs/mvnrt_options.h"
#include "run/prepare.h"

namespace recording {

// The files the project's script names: the movie relative to the start
// directory, the motion file on drive H:.
inline constexpr const char* kScriptMovieFile = "test.avi";
inline constexpr const char* kScriptMotionFile = "h:\\mocap.kvx";
// The script turns its camera by -0.42 rad about the vertical axis and sets a
// vertical field of view of 60 degrees.
inline constexpr double kScriptCameraTurn = -0.42;
inline constexpr double kScriptCameraFovY = 60.0;

// Where a motion file the script names with a drive letter goes: there, on
// Windows when the drive exists; otherwise its file name in `resultsFolder`,
// and `note` (when given) says why.
std::filesystem::path driveTarget(std::string_view scriptPath,
                                  const std::filesystem::path& resultsFolder, std::string* note);

struct RecordingPlan {
    std::optional<std::filesystem::path> movie;
    std::optional<std::filesystem::path> motion;
    std::string motionNote;  // why the motion file is not where the script names it
    // The recordings that go into the run's results folder (by name there).
    std::vector<std::string> resultFiles;
};

// What to record: the options' files, else the project's flags. Throws
// runtime::InputError naming a recording's path when a device, FIFO, socket,
// folder or link is there (nothing is written then).
RecordingPlan planRecordings(const runtime::PreparedRun& prepared, const runtime::Options& options);

// Throws runtime::InputError naming a planned recording's path that is not a
// regular file of its own (a device, a FIFO, a socket, a folder, a link).
void refuseUnwritable(const RecordingPlan& plan);

// The same for the paths given with --movie and --motion, so that they are
// refused before a results folder or its lock is made.
void refuseUnwritableRequests(const runtime::Options& options);

// The motion recorder of the plan, or none.
std::unique_ptr<runtime::FrameSink> makeMotionRecorder(const RecordingPlan& plan,
                                                       const runtime::PreparedRun& prepared);

// The movie recorder of the plan (at the options' movie size), or none.
std::unique_ptr<runtime::FrameSink> makeMovieRecorder(const RecordingPlan& plan,
                                                      const runtime::PreparedRun& prepared,
                                                      const runtime::Options& options);

}  // namespace recording
