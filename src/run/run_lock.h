#pragma once
// One runtime per results folder at a time.
//
// A run takes the lock of its results root (the project's bProj/results, or
// the folder named with --out) before it writes anything: the file
// kLockName there, locked with flock() for as long as the process lives, and
// naming the holder (process id, host, start time) for the message a second
// start gets. The kernel releases the lock when its process ends in any way
// (a crash, kill -9), so a lock file left by a dead process is simply taken
// over; its holder is then named in a note.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace runtime {

inline constexpr const char* kLockName = ".mvnrt-lock";

// Who holds a lock, as its file says.
struct LockHolder {
    long long pid = 0;
    std::string host;
    std::string started;        // local time, "2026-12-08 16:50:02"
};

// Another runtime holds the folder. what() is the message for the user.
class ResultsBusy : public std::runtime_error {
  public:
    ResultsBusy(const std::string& message, LockHolder holder)
        : std::runtime_error(message), holder_(std::move(holder)) {}
    const LockHolder& holder() const { return holder_; }

  private:
    LockHolder holder_;
};

class RunLock {
  public:
    // Takes the lock of `folder` (which must exist). Throws ResultsBusy when
    // a live process holds it, platform::OutputError when the lock file
    // cannot be made.
    explicit RunLock(const std::filesystem::path& folder);
    ~RunLock();  // removes the lock file and releases the lock
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    const std::filesystem::path& file() const { return file_; }
    // The holder whose stale lock was taken over; pid 0 when there was none.
    const LockHolder& tookOver() const { return stale_; }

  private:
    std::filesystem::path file_;
    int fd_ = -1;
    LockHolder stale_;
};

// The holder named by a lock file's text; pid 0 when the text is not one.
LockHolder parseLock(const std::string& text);

}  // namespace runtime
