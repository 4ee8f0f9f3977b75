#include "platform/safe_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/safe_output.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "is not a regular file";
}
#endif

std::string sizeText(std::uint64_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

InputFile refuse(const fs::path& file, std::string* why, const std::string& reason) {
    if (why == nullptr) throw InputFileError(capped(file.string()) + ": " + reason);
    *why = reason;
    return {};
}

}  // namespace

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

int InputFile::release() { return std::exchange(fd_, -1); }

InputFile openRegularFile(const fs::path& file, std::uint64_t maxBytes, std::string* why) {
#ifdef _WIN32
    const int fd = ::_wopen(file.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return refuse(file, why, std::string("cannot be opened: ") + std::strerror(errno));
    struct _stat64 info {};
    if (::_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        ::_close(fd);
        return refuse(file, why, "is not a regular file");
    }
#else
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        return refuse(file, why, error == ENOENT ? std::string("does not exist")
                                                 : "cannot be opened: " + std::string(std::strerror(error)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(file, why, std::string("cannot be read: ") + std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(file, why, kindOf(info.st_mode));
    }
#endif
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxBytes) {
        ::close(fd);
        return refuse(file, why, "is " + std::to_string(size) + " bytes long; the limit is " +
                                     sizeText(maxBytes));
    }
#ifndef _WIN32
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
#endif
    InputFile opened;
    opened.fd_ = fd;
    opened.size_ = size;
    return opened;
}

std::string readRegularFile(const fs::path& file, std::uint64_t maxBytes) {
    InputFile in = openRegularFile(file, maxBytes);
    std::string text;
    text.resize(static_cast<std::size_t>(in.size()));
    std::size_t got = 0;
    // A file may grow while it is read (or report no size, as some system
    // files do): read on to its end, but never past the limit.
    for (;;) {
        if (got == text.size()) {
            if (text.size() > maxBytes) break;
            text.resize(std::min<std::uint64_t>(maxBytes + 1, text.size() + 65536));
        }
#ifdef _WIN32
        const int n = ::_read(in.descriptor(), text.data() + got,
                              static_cast<unsigned>(text.size() - got));
#else
        const ssize_t n = ::read(in.descriptor(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) throw InputFileError(capped(file.string()) + ": cannot be read: " +
                                        std::strerror(errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes)
        throw InputFileError(capped(file.string()) + ": is longer than the limit of " +
                             sizeText(maxBytes));
    text.resize(got);
    return text;
}

}  // namespace platform
