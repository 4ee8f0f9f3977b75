#include "generator/template_copy.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>

#include "generator/tree_writes.h"
#include "platform/platform.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"

#ifdef _WIN32
#include <cstdio>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace generator {

namespace {

constexpr std::size_t kBlock = 1 << 20;
// Sources up to this size are compared with an existing copy before copying.
constexpr std::uint64_t kCompareLimit = 1 << 20;

std::string describe(int error) { return std::strerror(error); }

// Records a problem in its typed form and as the sentence shown to people.
void fail(CopyReport& report, CopyProblem problem, int error) {
    report.failure = problem;
    report.cause = error != 0 ? describe(error) : std::string();
    switch (problem) {
        case CopyProblem::SourceMissing:
            report.problem = "source missing";
            break;
        case CopyProblem::SourceUnreadable:
        case CopyProblem::ReadFailed:
            report.problem = "source unreadable: " + report.cause;
            break;
        case CopyProblem::DestinationUnopenable:
            report.problem = "could not open for writing: " + report.cause;
            break;
        case CopyProblem::WriteFailed:
            report.problem = "write failed: " + report.cause;
            break;
        case CopyProblem::None:
            report.problem.clear();
            break;
    }
}

}  // namespace

#ifndef _WIN32

namespace {

// Closes a descriptor on every path out.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

// Copies the rest of `in` to `out` through a buffer. Returns 0 or an errno;
// `readFailed` tells which side failed.
int copyThroughBuffer(int in, int out, std::uintmax_t& bytes, bool& readFailed) {
    const auto buffer = std::make_unique_for_overwrite<char[]>(kBlock);
    for (;;) {
        ssize_t got = ::read(in, buffer.get(), kBlock);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            readFailed = true;
            return errno;
        }
        if (got == 0) return 0;
        const char* p = buffer.get();
        std::size_t left = static_cast<std::size_t>(got);
        while (left > 0) {
            ssize_t put = ::write(out, p, left);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                readFailed = false;
                return put < 0 ? errno : EIO;
            }
            p += put;
            left -= static_cast<std::size_t>(put);
            bytes += static_cast<std::uintmax_t>(put);
        }
    }
}

}  // namespace

CopyReport copyHostFile(const std::filesystem::path& sourcePath,
                        const std::filesystem::path& destinationPath) {
    CopyReport report;
    // Regular files only, opened without blocking: a FIFO or a device as a
    // template would block the build or never end.
    std::string sourceWhy;
    platform::InputFile source =
        platform::openRegularFile(sourcePath, std::numeric_limits<std::uint64_t>::max(), &sourceWhy);
    Descriptor in;
    in.fd = source.release();
    report.sourceOpened = in.fd >= 0;

    // A source that is the destination itself would be emptied by opening
    // the destination: leave the file as it is.
    if (report.sourceOpened) {
        std::error_code ec;
        if (std::filesystem::equivalent(sourcePath, destinationPath, ec) && !ec) {
            report.sameFile = true;
            report.complete = true;
            return report;
        }
    }

    // A small source whose copy is there already (a rebuild) is left as it is.
    if (report.sourceOpened && source.size() <= kCompareLimit) {
        std::string bytes(static_cast<std::size_t>(source.size()), '\0');
        if (::pread(in.fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
            platform::holdsExactly(destinationPath, bytes)) {
            report.bytes = bytes.size();
            report.destinationOpened = true;
            report.complete = true;
            return report;
        }
    }

    // The copy goes to a temporary file that replaces the destination only
    // when complete: a failed copy keeps the previous file, and a link at the
    // destination is replaced, never written through.
    platform::AtomicFile out(destinationPath, kTreeDurability);
    if (!out.ok()) {
        fail(report, CopyProblem::DestinationUnopenable, out.errorNumber());
        return report;
    }
    report.destinationOpened = true;

    if (!report.sourceOpened) {
        if (sourceWhy == "does not exist") {
            fail(report, CopyProblem::SourceMissing, 0);
        } else {
            fail(report, CopyProblem::SourceUnreadable, 0);
            report.cause = sourceWhy;
            report.problem = "source unreadable: " + sourceWhy;
        }
    } else {
        int error = 0;
        bool readFailed = false;
#ifdef __linux__
        // In-kernel copy first; file systems or sources without it fall back
        // to the buffer below, from wherever the offsets stand.
        bool useBuffer = false;
        for (;;) {
            ssize_t n = ::copy_file_range(in.fd, nullptr, out.descriptor(), nullptr, 1 << 30, 0);
            if (n > 0) {
                report.bytes += static_cast<std::uintmax_t>(n);
                continue;
            }
            // Some special files report 0 here although they have content:
            // an empty first answer is checked with a plain read.
            if (n == 0) {
                useBuffer = report.bytes == 0;
                break;
            }
            if (errno == EINTR) continue;
            // Only a missing in-kernel copy falls back; a full disk is a
            // failure of the copy.
            if (errno == ENOSPC || errno == EIO || errno == EDQUOT || errno == EFBIG) {
                error = errno;
            } else {
                useBuffer = true;
            }
            break;
        }
        if (useBuffer) error = copyThroughBuffer(in.fd, out.descriptor(), report.bytes, readFailed);
#else
        error = copyThroughBuffer(in.fd, out.descriptor(), report.bytes, readFailed);
#endif
        if (error != 0) {
            fail(report, readFailed ? CopyProblem::ReadFailed : CopyProblem::WriteFailed, error);
            out.markFailed(error);
        }
    }

    if (in.fd >= 0) ::close(in.release());
    if (!out.commit() && report.problem.empty())
        fail(report, CopyProblem::WriteFailed, out.errorNumber());
    report.complete = report.sourceOpened && report.problem.empty();
    return report;
}

#else  // _WIN32

CopyReport copyHostFile(const std::filesystem::path& sourcePath,
                        const std::filesystem::path& destinationPath) {
    CopyReport report;
    std::FILE* in = ::_wfopen(sourcePath.c_str(), L"rb");
    int sourceError = in == nullptr ? errno : 0;
    report.sourceOpened = in != nullptr;
    if (in != nullptr) {
        std::error_code ec;
        if (std::filesystem::equivalent(sourcePath, destinationPath, ec) && !ec) {
            std::fclose(in);
            report.sameFile = true;
            report.complete = true;
            return report;
        }
    }
    std::FILE* out = ::_wfopen(destinationPath.c_str(), L"wb");
    if (out == nullptr) {
        fail(report, CopyProblem::DestinationUnopenable, errno);
        if (in != nullptr) std::fclose(in);
        return report;
    }
    report.destinationOpened = true;
    if (in == nullptr) {
        if (sourceError == ENOENT) {
            fail(report, CopyProblem::SourceMissing, 0);
        } else {
            fail(report, CopyProblem::SourceUnreadable, sourceError);
        }
    } else {
        const auto buffer = std::make_unique_for_overwrite<char[]>(kBlock);
        for (;;) {
            std::size_t got = std::fread(buffer.get(), 1, kBlock, in);
            if (got > 0 && std::fwrite(buffer.get(), 1, got, out) != got) {
                fail(report, CopyProblem::WriteFailed, errno);
                break;
            }
            report.bytes += got;
            if (got < kBlock) {
                if (std::ferror(in)) fail(report, CopyProblem::ReadFailed, errno);
                break;
            }
        }
        std::fclose(in);
    }
    if (std::fclose(out) != 0 && report.problem.empty()) {
        fail(report, CopyProblem::WriteFailed, errno);
    }
    report.complete = report.sourceOpened && report.problem.empty();
    return report;
}

#endif

CopyReport TemplateCopy(std::string_view source, std::string_view destination) {
    return copyHostFile(platform::nativePath(source), platform::nativePath(destination));
}

}  // namespace generator
