#pragma once
// Runs a simulation to its end: until nobody is left inside, or the time
// limit. Hands out frames at a fixed rate of simulated time (positions
// interpolated linearly between the two steps around each frame time).

#include <cstdint>
#include <functional>
#include <vector>

#include "crowd/simulation.h"

namespace crowd {

struct FrameView {
    double time;
    const std::vector<int>& people;      // inside at `time`, ascending
    const std::vector<Vec2>& positions;  // same order
};

// Frames at a fixed rate of simulated time, for one consumer.
struct FrameStream {
    double rate = 24.0;  // frames per simulated second
    std::function<void(const FrameView&)> onFrame;
};

struct RunOptions {
    double timeLimit = 3600.0;  // simulated seconds
    double frameRate = 24.0;    // frames per simulated second; 0: none
    std::function<void(const FrameView&)> onFrame;
    // Further consumers, each at its own rate (a trajectory file at 10 per
    // second and a movie at 24, say). Each gets frames 0, 1/rate, 2/rate, ...
    std::vector<FrameStream> streams;
    // Called every `progressSteps` steps; return false to stop early.
    std::function<bool(const Simulation&)> onProgress;
    int progressSteps = 500;
};

struct RunResult {
    double endTime = 0.0;  // simulated time when the run stopped
    bool everyoneOut = false;
    std::uint64_t steps = 0;
    double wallSeconds = 0.0;  // spent in the loop, frames included
};

RunResult run(Simulation& sim, const RunOptions& options);

}  // namespace crowd
