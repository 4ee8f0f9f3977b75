#pragma once
// What stands at an output path before anything is written there.
//
// Results, recordings, reports and batch scripts are written only into a
// regular file of their own name: a device, a FIFO, a socket, a folder or a
// symbolic link at that path is refused by name before a byte is written,
// so that a write never replaces (nor opens) a node that is not a regular
// file.

#include <filesystem>
#include <string>

namespace platform {

// Why `path` cannot take an output file, without the path ("is a character
// device, not a regular file"); empty when nothing is there or a regular
// file (not a link) is.
std::string outputNodeProblem(const std::filesystem::path& path);

// The same, as "<path>: <why>; <what> is written only into a regular file",
// empty when the path can be written. `what` names the output ("the
// movie").
std::string outputPathProblem(const std::filesystem::path& path, const std::string& what);

// Throws OutputError with outputPathProblem() when it is not empty.
void requireOutputPath(const std::filesystem::path& path, const std::string& what);

}  // namespace platform
