#include "platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// Appends the system path with every run of backslashes as one '/'.
void appendNative(std::string& out, std::string_view systemPath) {
    bool lastWasSeparator = false;
    for (char c : systemPath) {
        if (c == '\\') {
            if (!lastWasSeparator) out.push_back('/');
            lastWasSeparator = true;
        } else {
            out.push_back(c);
            lastWasSeparator = false;
        }
    }
}

}  // namespace

std::filesystem::path nativePath(std::string_view systemPath) {
#ifdef _WIN32
    return std::filesystem::path(std::string(systemPath));
#else
    std::string out;
    out.reserve(systemPath.size());
    appendNative(out, systemPath);
    return std::filesystem::path(std::move(out));
#endif
}

std::filesystem::path nativePathBelow(const std::filesystem::path& root,
                                      std::string_view systemPath) {
    if (systemPath.starts_with(".\\")) systemPath.remove_prefix(2);
#ifdef _WIN32
    return root / nativePath(systemPath);
#else
    if (systemPath.starts_with('/') || root.empty()) return nativePath(systemPath);
    std::string out = root.native();
    out.reserve(out.size() + 1 + systemPath.size());
    if (out.back() != '/') out.push_back('/');
    appendNative(out, systemPath);
    return std::filesystem::path(std::move(out));
#endif
}

std::string currentDirectory() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    if (ec) return {};
    return p.string();
}

bool setCurrentDirectory(std::string_view directory) {
    std::error_code ec;
    std::filesystem::current_path(nativePath(directory), ec);
    return !ec;
}

bool createDirectory(std::string_view directory) {
#ifdef _WIN32
    return CreateDirectoryA(std::string(directory).c_str(), nullptr) != 0;
#else
    return ::mkdir(nativePath(directory).c_str(), 0777) == 0;
#endif
}

std::filesystem::path executableDirectory() {
#ifdef _WIN32
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return {};
    return std::filesystem::path(std::string(buffer, n)).parent_path();
#else
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path();
#endif
}

std::string runtimeProgram() {
    const char* fromEnvironment = std::getenv(kRuntimeEnvironmentVariable);
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') return fromEnvironment;
#ifdef _WIN32
    return kWindowsRuntimeCommand;
#else
    return (executableDirectory() / "mvnrt").string();
#endif
}

#ifdef _WIN32
LaunchResult startRuntime(const std::string& workingDirectory) {
    LaunchResult result;
    result.program = runtimeProgram();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::string commandLine = result.program;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &si,
                        &pi)) {
        result.error = "could not start " + result.program + " (error " +
                       std::to_string(GetLastError()) + ")";
        return result;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    result.started = true;
    return result;
}
#else
namespace {
// Writes all of `n` bytes, ignoring interruptions; used between fork and exec.
void writeAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}
}  // namespace

LaunchResult startRuntime(const std::string& workingDirectory) {
    LaunchResult result;
    result.program = runtimeProgram();

    // The grandchild reports a failed chdir or exec through this pipe; a
    // successful exec closes it (close-on-exec) and the parent reads nothing.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        result.error = std::string("could not start ") + result.program + ": " + std::strerror(errno);
        return result;
    }
    pid_t child = ::fork();
    if (child < 0) {
        int e = errno;
        ::close(report[0]);
        ::close(report[1]);
        result.error = std::string("could not start ") + result.program + ": " + std::strerror(e);
        return result;
    }
    if (child == 0) {
        // Intermediate child: start a new session and fork again so the
        // runtime is adopted by init and never becomes our zombie.
        ::close(report[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild < 0) {
            int e = errno;
            int stage = 0;
            writeAll(report[1], &stage, sizeof stage);
            writeAll(report[1], &e, sizeof e);
            ::_exit(1);
        }
        if (grandchild > 0) ::_exit(0);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) {
            int e = errno;
            int stage = 1;
            writeAll(report[1], &stage, sizeof stage);
            writeAll(report[1], &e, sizeof e);
            ::_exit(127);
        }
        const char* program = result.program.c_str();
        char* const argv[] = {const_cast<char*>(program), nullptr};
        ::execv(program, argv);
        int e = errno;
        int stage = 2;
        writeAll(report[1], &stage, sizeof stage);
        writeAll(report[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int message[2] = {0, 0};
    size_t got = 0;
    while (got < sizeof message) {
        ssize_t r = ::read(report[0], reinterpret_cast<char*>(message) + got, sizeof message - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    ::close(report[0]);
    if (got == sizeof message) {
        const char* what = message[0] == 1 ? "could not enter " : "could not start ";
        std::string subject = message[0] == 1 ? workingDirectory : result.program;
        result.error = std::string(what) + subject + ": " + std::strerror(message[1]);
        return result;
    }
    result.started = true;
    return result;
}
#endif

}  // namespace platform
