#include "floorplan/byte_source.h"

#include <algorithm>
#include <limits>

#include "platform/safe_input.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace floorplan {

int ByteSource::slowPeek() {
    while (p_ == end_) {
        if (hitEnd_) return -1;
        before_ += static_cast<std::uint64_t>(end_ - begin_);
        const unsigned char* b = nullptr;
        const unsigned char* e = nullptr;
        if (!nextChunk(b, e)) {
            begin_ = p_ = end_ = nullptr;
            hitEnd_ = true;
            return -1;
        }
        begin_ = p_ = b;
        end_ = e;
    }
    return *p_;
}

MemoryByteSource::MemoryByteSource(std::string_view bytes, std::size_t chunkSize)
    : next_(reinterpret_cast<const unsigned char*>(bytes.data())),
      last_(reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size()),
      chunk_(chunkSize == 0 ? bytes.size() : chunkSize) {}

bool MemoryByteSource::nextChunk(const unsigned char*& begin, const unsigned char*& end) {
    if (next_ == last_) return false;
    const std::size_t n = std::min(chunk_, static_cast<std::size_t>(last_ - next_));
    begin = next_;
    end = next_ + n;
    next_ = end;
    return true;
}

FileByteSource::FileByteSource(const std::filesystem::path& file) {
    // Regular files only, opened without blocking: a FIFO or a device (which
    // would block or never end) is refused and says why.
    platform::InputFile in =
        platform::openRegularFile(file, std::numeric_limits<std::uint64_t>::max(), &openProblem_);
    if (!in.isOpen()) return;
#ifdef _WIN32
    file_ = ::_fdopen(in.release(), "rb");
#else
    const int fd = in.release();
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) ::close(fd);
#endif
    if (file_ != nullptr) {
        std::setvbuf(file_, nullptr, _IONBF, 0);  // our own buffer is the only one
        buffer_ = std::make_unique<unsigned char[]>(kBufferSize);
    }
}

FileByteSource::~FileByteSource() {
    if (file_ != nullptr) std::fclose(file_);
}

bool FileByteSource::nextChunk(const unsigned char*& begin, const unsigned char*& end) {
    if (file_ == nullptr || readError_) return false;
    const std::size_t n = std::fread(buffer_.get(), 1, kBufferSize, file_);
    if (n == 0) {
        if (std::ferror(file_)) readError_ = true;
        return false;
    }
    begin = buffer_.get();
    end = buffer_.get() + n;
    return true;
}

}  // namespace floorplan
