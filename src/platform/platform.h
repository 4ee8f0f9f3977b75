#pragma once
// The one small layer between the system's Windows-style paths and the host.
//
// Paths inside the system are written the way the runtime's project format
// writes them: relative to the start directory, with backslash separators,
// file paths beginning with ".\" (".\bProj\something.spj"). A doubled
// backslash names the same file as a single one. nativePath() turns such a
// path into one the host file system opens.

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Maps a system path to a host path: every run of backslashes becomes one
// separator. On Windows the text is returned unchanged (the OS already treats
// runs of separators as one).
std::filesystem::path nativePath(std::string_view systemPath);

// The host path of `systemPath` below `root`: root/systemPath, with a leading
// ".\" dropped; an absolute systemPath stays as it is. Made as one string
// (a build opens some 50 paths below its root).
std::filesystem::path nativePathBelow(const std::filesystem::path& root,
                                      std::string_view systemPath);

// The process's current directory as text; empty when it cannot be read.
std::string currentDirectory();

// Makes `directory` (a system path) current. Returns false when it cannot.
bool setCurrentDirectory(std::string_view directory);

// Creates one directory (a system path, relative to the current directory or
// absolute). Returns false when it was not created, which includes the normal
// case of a directory that exists already.
bool createDirectory(std::string_view directory);

// The folder that holds the running executable; empty when unknown.
std::filesystem::path executableDirectory();

// Name of the environment variable that, when set, names the runtime program
// to start instead of the default one.
inline constexpr const char* kRuntimeEnvironmentVariable = "MORVANTA_RUNTIME";

// The fixed command line of the runtime on Windows.
inline constexpr const char* kWindowsRuntimeCommand =
    "C:\\Tallowind\\MORVANTA_1.5\\Application\\bin\\MVNRT.exe";

// The program that starting the runtime would run: the value of
// MORVANTA_RUNTIME when it is set and not empty; otherwise on Windows the fixed
// command line, elsewhere our runtime "mvnrt" beside the executable.
std::string runtimeProgram();

struct LaunchResult {
    bool started = false;
    std::string program;  // what was started (or tried)
    std::string error;    // why it could not be started; empty when started
};

// Starts the runtime with `workingDirectory` as its working directory and no
// arguments, without waiting for it. The started program is detached from
// this process: it outlives it and leaves no zombie behind.
LaunchResult startRuntime(const std::string& workingDirectory);

}  // namespace platform
