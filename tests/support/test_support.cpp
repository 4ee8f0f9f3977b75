#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#if defined(__linux__)
#include <sys/mount.h>
#endif

namespace testsupport {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        auto candidate = base / ("escape-test-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("could not create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything removable again in case a test changed modes.
    std::filesystem::remove_all(path_, ec);
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::filesystem::path& dir)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path sourcePath(std::string_view relative) {
    return std::filesystem::path(ESCAPE_SOURCE_DIR) / relative;
}

void copyTemplates(const std::filesystem::path& dir) {
    std::filesystem::copy(sourcePath("unchanged"), dir / "unchanged",
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
}

SmallDisk::SmallDisk(std::filesystem::path at, const char* size) : at_(std::move(at)) {
#if defined(__linux__)
    if (::mount("tmpfs", at_.c_str(), "tmpfs", 0, size) != 0)
        why_ = std::string("cannot mount a small tmpfs here (") + std::strerror(errno) + ")";
#else
    (void)size;
    why_ = "no tmpfs on this system";
#endif
}

SmallDisk::~SmallDisk() {
#if defined(__linux__)
    if (mounted()) ::umount(at_.c_str());
#endif
}

}  // namespace testsupport
