#include "platform/safe_output.h"

#include "platform/output_node.h"

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <cstdio>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace fs = std::filesystem;

std::string capped(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    const std::size_t keep = limit > 3 ? limit - 3 : 0;
    std::size_t cut = keep;
    // Never end inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "...";
}

namespace {

std::string named(const fs::path& p) { return capped(p.string()); }

// A name for the temporary file beside `target` that no one else uses: the
// target's name (shortened, so that it stays within the system's limit for
// one name), the process and a counter with a random part.
fs::path temporaryName(const fs::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    std::string base = target.filename().string();
    if (base.size() > 160) base.resize(160);
#ifdef _WIN32
    const long pid = 0;
#else
    const long pid = static_cast<long>(::getpid());
#endif
    const std::string name = "." + base + ".tmp-" + std::to_string(pid) + "-" +
                             std::to_string(counter.fetch_add(1) ^ (salt + attempt * 7919u));
    return target.parent_path() / name;
}

}  // namespace

void AtomicFile::fail(const fs::path& where, const std::string& why, int error) {
    if (!problem_.empty()) return;
    problem_ = named(where) + ": " + why;
    errorNumber_ = error;
}

void AtomicFile::markFailed(int error) {
    fail(target_, std::string("cannot be written: ") + std::strerror(error), error);
}

#ifndef _WIN32

AtomicFile::AtomicFile(fs::path target, Durability durability, Replacing replacing)
    : target_(std::move(target)), durability_(durability), replacing_(replacing) {
    if (replacing_ == Replacing::RegularFileOnly) {
        const std::string why = outputNodeProblem(target_);
        if (!why.empty()) {
            fail(target_, why, EEXIST);
            return;
        }
    }
    if (target_.filename().empty()) {
        fail(target_, "names no file", EINVAL);
        return;
    }
    struct stat existing {};
    if (::lstat(target_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        fail(target_, "is a directory, not a file", EISDIR);
        return;
    }
    for (unsigned attempt = 0; attempt < 64; ++attempt) {
        temporary_ = temporaryName(target_, attempt);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                     0666);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        markFailed(error);
    }
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 || !problem_.empty()) return;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd_, p, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            markFailed(put < 0 ? errno : EIO);
            return;
        }
        p += put;
        size -= static_cast<std::size_t>(put);
        written_ += static_cast<std::size_t>(put);
    }
}

bool AtomicFile::seek(std::uint64_t offset) {
    if (fd_ < 0 || !problem_.empty()) return false;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        markFailed(errno);
        return false;
    }
    return true;
}

bool AtomicFile::commit() {
    if (fd_ < 0 || !problem_.empty()) {
        discard();
        return false;
    }
    struct stat existing {};
    const bool replacing = ::lstat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    const bool flush = durability_ == Durability::Always ||
                       (durability_ == Durability::WhenReplacing && replacing);
    if (flush && ::fsync(fd_) != 0) markFailed(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) markFailed(errno);
    if (problem_.empty() && replacing_ == Replacing::RegularFileOnly) {
        const std::string why = outputNodeProblem(target_);
        if (!why.empty()) fail(target_, why, EEXIST);
    }
    if (problem_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        if (error == EISDIR || error == ENOTEMPTY || error == EEXIST)
            fail(target_, "is a directory, not a file", EISDIR);
        else
            markFailed(error);
    }
    if (!problem_.empty()) {
        discard();
        return false;
    }
    temporary_.clear();
    if (durability_ == Durability::Always) {
        const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

std::string makeOwnFolder(const fs::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        if (errno != ENOENT) return std::strerror(errno);
        if (::mkdir(folder.c_str(), 0777) == 0) return {};
        if (errno != EEXIST) return std::string("cannot create the directory: ") + std::strerror(errno);
        if (::lstat(folder.c_str(), &info) != 0) return std::strerror(errno);
    }
    if (S_ISLNK(info.st_mode)) return "is a symbolic link; a directory of its own must be there";
    if (!S_ISDIR(info.st_mode)) return "is a file, not a directory";
    return {};
}

std::string removeFile(const fs::path& file) {
    if (::unlink(file.c_str()) == 0 || errno == ENOENT) return {};
    const int error = errno;
    if (error == EISDIR || error == EPERM) {
        struct stat info {};
        if (::lstat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            return named(file) + ": is a directory, not a file";
    }
    return named(file) + ": cannot be removed: " + std::strerror(error);
}

#else  // _WIN32: the same steps through the standard library.

AtomicFile::AtomicFile(fs::path target, Durability durability, Replacing replacing)
    : target_(std::move(target)), durability_(durability), replacing_(replacing) {
    if (replacing_ == Replacing::RegularFileOnly && !outputNodeProblem(target_).empty()) {
        fail(target_, outputNodeProblem(target_), EEXIST);
        return;
    }
    temporary_ = temporaryName(target_, 0);
    std::FILE* f = ::_wfopen(temporary_.c_str(), L"wbx");
    if (f == nullptr) {
        temporary_.clear();
        markFailed(errno);
        return;
    }
    fd_ = ::_dup(::_fileno(f));
    std::fclose(f);
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 || !problem_.empty()) return;
    const int put = ::_write(fd_, data, static_cast<unsigned>(size));
    if (put != static_cast<int>(size)) {
        markFailed(errno);
        return;
    }
    written_ += size;
}

bool AtomicFile::seek(std::uint64_t offset) {
    if (fd_ < 0 || !problem_.empty()) return false;
    if (::_lseeki64(fd_, static_cast<long long>(offset), SEEK_SET) < 0) {
        markFailed(errno);
        return false;
    }
    return true;
}

bool AtomicFile::commit() {
    if (fd_ < 0 || !problem_.empty()) {
        discard();
        return false;
    }
    if (durability_ != Durability::Never) ::_commit(fd_);
    ::_close(fd_);
    fd_ = -1;
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
    if (ec) {
        fail(target_, "cannot be written: " + ec.message(), ec.value());
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
    std::error_code ec;
    if (!temporary_.empty()) fs::remove(temporary_, ec);
    temporary_.clear();
}

std::string makeOwnFolder(const fs::path& folder) {
    std::error_code ec;
    const auto status = fs::symlink_status(folder, ec);
    if (status.type() == fs::file_type::not_found) {
        if (fs::create_directory(folder, ec) || fs::is_directory(folder)) return {};
        return "cannot create the directory: " + ec.message();
    }
    if (status.type() == fs::file_type::symlink)
        return "is a symbolic link; a directory of its own must be there";
    if (status.type() != fs::file_type::directory) return "is a file, not a directory";
    return {};
}

std::string removeFile(const fs::path& file) {
    std::error_code ec;
    fs::remove(file, ec);
    return ec ? named(file) + ": cannot be removed: " + ec.message() : std::string();
}

#endif

AtomicFile::~AtomicFile() { discard(); }

std::string writeFileAtomically(const fs::path& target, std::string_view bytes,
                                Durability durability, Replacing replacing) {
    AtomicFile file(target, durability, replacing);
    file.write(bytes);
    file.commit();
    return file.problem();
}

std::string folderProblem(const fs::path& folder) {
    const std::string why = makeOwnFolder(folder);
    return why.empty() ? why : named(folder) + ": " + why;
}

bool holdsExactly(const fs::path& file, std::string_view bytes) {
    std::error_code ec;
    const auto status = fs::symlink_status(file, ec);
    if (ec || status.type() != fs::file_type::regular) return false;
    if (fs::file_size(file, ec) != bytes.size() || ec) return false;
    std::FILE* in = std::fopen(file.string().c_str(), "rb");
    if (in == nullptr) return false;
    std::string held(bytes.size(), '\0');
    const bool same = std::fread(held.data(), 1, held.size(), in) == held.size() &&
                      std::fgetc(in) == EOF && held == bytes;
    std::fclose(in);
    return same;
}

void requireFolder(const fs::path& folder) {
    const std::string problem = folderProblem(folder);
    if (!problem.empty()) throw OutputError(problem);
}

}  // namespace platform
