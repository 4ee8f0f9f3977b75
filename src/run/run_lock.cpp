#include "run/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/safe_output.h"

namespace runtime {

namespace {

constexpr const char* kLockHeader = "mvnrt lock 1";

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "unknown host";
    return name;
}

std::string localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::string readAll(int fd) {
    std::string text;
    char buf[512];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n <= 0 || text.size() > 4096) break;
        text.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    return text;
}

[[noreturn]] void cannot(const std::filesystem::path& file, const std::string& what, int error) {
    throw platform::OutputError(platform::capped(file.string()) + ": " + what + ": " +
                                std::strerror(error));
}

}  // namespace

LockHolder parseLock(const std::string& text) {
    LockHolder h;
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kLockHeader) return {};
            first = false;
            continue;
        }
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string key = line.substr(0, space), value = line.substr(space + 1);
        if (key == "pid") h.pid = std::atoll(value.c_str());
        if (key == "host") h.host = value;
        if (key == "started") h.started = value;
    }
    return h;
}

RunLock::RunLock(const std::filesystem::path& folder) : file_(folder / kLockName) {
    // A process that releases the lock removes the file first; a file locked
    // here after that is no longer the lock, so the path is opened again.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == ELOOP)
                throw platform::OutputError(platform::capped(file_.string()) +
                                            ": is a symbolic link, not mvnrt's lock; remove it");
            cannot(file_, "cannot make the lock of the results folder", errno);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const LockHolder holder = parseLock(readAll(fd));
            ::close(fd);
            if (error != EWOULDBLOCK) cannot(file_, "cannot lock the results folder", error);
            std::string who = holder.pid > 0 ? "mvnrt (process " + std::to_string(holder.pid) +
                                                   " on " + holder.host + ", started " +
                                                   holder.started + ")"
                                             : std::string("another mvnrt");
            throw ResultsBusy(platform::capped(folder.string()) + " is in use by " + who +
                                  ": one runtime per results folder at a time. Wait for it "
                                  "to end (or close its window), or give this run another "
                                  "folder with --out",
                              holder);
        }
        struct stat opened {}, named {};
        if (::fstat(fd, &opened) != 0 || ::lstat(file_.c_str(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
            ::close(fd);
            continue;
        }
        // Ours. A holder named in the file died without removing it.
        stale_ = parseLock(readAll(fd));
        const std::string text = std::string(kLockHeader) + "\npid " +
                                 std::to_string(::getpid()) + "\nhost " + hostName() +
                                 "\nstarted " + localTimeNow() + "\n";
        if (::ftruncate(fd, 0) != 0 ||
            ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
            const int error = errno;
            ::close(fd);
            cannot(file_, "cannot write the lock of the results folder", error);
        }
        fd_ = fd;
        return;
    }
    throw platform::OutputError(platform::capped(file_.string()) +
                                ": the lock of the results folder keeps changing hands");
}

RunLock::~RunLock() {
    if (fd_ < 0) return;
    ::unlink(file_.c_str());
    ::close(fd_);
}

}  // namespace runtime
