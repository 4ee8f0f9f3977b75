#pragma once
// Small helpers shared by the test suites.

#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// A fresh directory below the system temp folder, removed with its contents
// when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Makes `dir` the current directory for the lifetime of the object.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::filesystem::path& dir);
    ~ScopedCurrentDirectory();

private:
    std::filesystem::path previous_;
};

// A small tmpfs (`size`, as mount takes it, e.g. "size=256k") mounted on
// the existing folder `at` for the lifetime of the object, to fill a disk
// on purpose. Mounting needs root: where it fails, mounted() is false and
// why() says why (the caller skips its test).
class SmallDisk {
public:
    SmallDisk(std::filesystem::path at, const char* size);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return why_.empty(); }
    const std::string& why() const { return why_; }

private:
    std::filesystem::path at_;
    std::string why_;
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, std::string_view bytes);

// Path of a file in the source tree (for templates, examples and golden files).
std::filesystem::path sourcePath(std::string_view relative);

// Copies the template folder `unchanged` of the source tree into `dir`.
void copyTemplates(const std::filesystem::path& dir);

}  // namespace testsupport
