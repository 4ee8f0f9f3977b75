#include "platform/output_node.h"

#include <system_error>

#include "platform/safe_output.h"

namespace platform {

namespace fs = std::filesystem;

std::string outputNodeProblem(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    switch (status.type()) {
        case fs::file_type::not_found:
        case fs::file_type::regular:
            return {};
        case fs::file_type::symlink:
            return "is a symbolic link, not a regular file";
        case fs::file_type::directory:
            return "is a directory, not a file";
        case fs::file_type::character:
            return "is a character device, not a regular file";
        case fs::file_type::block:
            return "is a block device, not a regular file";
        case fs::file_type::fifo:
            return "is a FIFO (named pipe), not a regular file";
        case fs::file_type::socket:
            return "is a socket, not a regular file";
        default:
            break;
    }
    if (ec) return "cannot be examined: " + ec.message();
    return "is not a regular file";
}

std::string outputPathProblem(const fs::path& path, const std::string& what) {
    const std::string why = outputNodeProblem(path);
    if (why.empty()) return why;
    return capped(path.string()) + ": " + why + "; " + what + " is written only into a regular file";
}

void requireOutputPath(const fs::path& path, const std::string& what) {
    const std::string problem = outputPathProblem(path, what);
    if (!problem.empty()) throw OutputError(problem);
}

}  // namespace platform
