#pragma once
// Runs commands as child processes, a few at a time, each under a wall-clock
// bound: a child that crashes, fails or hangs is isolated, reported with its
// status and (when hung) killed; nothing is dropped silently.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace runtime {

struct ChildJob {
    std::uint64_t key = 0;          // the caller's name for it (a seed)
    std::vector<std::string> args;  // without the program itself
    std::filesystem::path log;      // the child's stderr goes here (and its stdout)
};

struct ChildOutcome {
    enum class Kind { Ok, Failed, TimedOut, Interrupted, NotStarted };
    std::uint64_t key = 0;
    Kind kind = Kind::NotStarted;
    int exitCode = 0;  // when it exited
    int signal = 0;    // when a signal ended it
    double wallSeconds = 0.0;
    std::string detail;  // what went wrong, with the end of the child's log
};

struct PoolOptions {
    std::string executable;  // path of the program to start
    int jobs = 1;            // children at a time
    double wallLimit = 0.0;  // seconds per child; 0: none
    // Told about each child as it ends (on the calling thread).
    std::function<void(const ChildOutcome&)> onDone;
    // Set (by a signal handler, say) to stop: no new children start, running
    // ones are ended, and they are reported as Interrupted.
    const std::atomic<bool>* stop = nullptr;
};

// Runs every job and returns their outcomes in the order of `jobs`.
std::vector<ChildOutcome> runChildren(const std::vector<ChildJob>& jobs, const PoolOptions& opt);

}  // namespace runtime
