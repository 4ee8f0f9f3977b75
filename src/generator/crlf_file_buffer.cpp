#include "generator/crlf_file_buffer.h"

#include <cerrno>

#include "generator/tree_writes.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace generator {

CrLfFileBuffer::CrLfFileBuffer() {
    setp(nullptr, nullptr);
    setg(nullptr, nullptr, nullptr);
}

CrLfFileBuffer::~CrLfFileBuffer() { close(); }

CrLfFileBuffer* CrLfFileBuffer::open(const std::filesystem::path& file,
                                     std::ios_base::openmode mode) {
    if (file_ != nullptr) return nullptr;
    using std::ios_base;
    const auto base = mode & ~(ios_base::binary | ios_base::ate);
    const char* how = nullptr;
    if (base == ios_base::out || base == (ios_base::out | ios_base::trunc)) {
        how = "wb";
    } else if (base == ios_base::app || base == (ios_base::out | ios_base::app)) {
        how = "ab";
    } else if (base == ios_base::in) {
        how = "rb";
    } else if (base == (ios_base::in | ios_base::out)) {
        how = "r+b";
    } else if (base == (ios_base::in | ios_base::out | ios_base::trunc)) {
        how = "w+b";
    } else if (base == (ios_base::in | ios_base::app) ||
               base == (ios_base::in | ios_base::out | ios_base::app)) {
        how = "a+b";
    }
    if (how == nullptr) {
        lastError_ = EINVAL;
        return nullptr;
    }
    errno = 0;
    if (how[0] == 'w' && how[1] == 'b' && how[2] == '\0') {
        // Create or empty: the text goes to a temporary file that replaces
        // the file at close, when it is complete (a failed write keeps the
        // previous file; a link at the path is replaced, not followed).
        atomic_ = std::make_unique<platform::AtomicFile>(file, kTreeDurability);
        if (!atomic_->ok()) {
            lastError_ = atomic_->errorNumber() != 0 ? atomic_->errorNumber() : EIO;
            atomic_.reset();
            return nullptr;
        }
#ifdef _WIN32
        const int fd = ::_dup(atomic_->descriptor());
        file_ = fd >= 0 ? ::_fdopen(fd, "wb") : nullptr;
        if (file_ == nullptr && fd >= 0) ::_close(fd);
#else
        const int fd = ::dup(atomic_->descriptor());
        file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
        if (file_ == nullptr && fd >= 0) ::close(fd);
#endif
        if (file_ == nullptr) atomic_.reset();
    } else {
#ifdef _WIN32
        std::wstring wideHow(how, how + std::char_traits<char>::length(how));
        file_ = ::_wfopen(file.c_str(), wideHow.c_str());
#else
        file_ = std::fopen(file.c_str(), how);
#endif
    }
    if (file_ == nullptr) {
        lastError_ = errno != 0 ? errno : EIO;
        return nullptr;
    }
    if ((mode & ios_base::ate) != 0 && std::fseek(file_, 0, SEEK_END) != 0) {
        lastError_ = errno;
        std::fclose(file_);
        file_ = nullptr;
        return nullptr;
    }
    lastError_ = 0;
    text_ = (mode & ios_base::binary) == 0;
    reading_ = (mode & ios_base::in) != 0 && (mode & (ios_base::out | ios_base::app)) == 0;
    writeFailed_ = false;
    if (reading_) {
        setp(nullptr, nullptr);
    } else {
        setp(put_, put_ + kBufferSize);
    }
    setg(nullptr, nullptr, nullptr);
    return this;
}

CrLfFileBuffer* CrLfFileBuffer::close() {
    if (file_ == nullptr) return nullptr;
    bool ok = flushOutput();
    if (std::fclose(file_) != 0) {
        if (ok) lastError_ = errno;
        ok = false;
    }
    file_ = nullptr;
    if (atomic_) {
        if (!ok || writeFailed_) atomic_->markFailed(lastError_ != 0 ? lastError_ : EIO);
        if (!atomic_->commit() && ok && !writeFailed_) {
            lastError_ = atomic_->errorNumber() != 0 ? atomic_->errorNumber() : EIO;
            ok = false;
        }
        atomic_.reset();
    }
    setp(nullptr, nullptr);
    setg(nullptr, nullptr, nullptr);
    return ok && !writeFailed_ ? this : nullptr;
}

bool CrLfFileBuffer::flushOutput() {
    if (file_ == nullptr || pbase() == nullptr) return !writeFailed_;
    const char* begin = pbase();
    const char* end = pptr();
    if (begin != end) {
        const char* data = begin;
        std::size_t size = static_cast<std::size_t>(end - begin);
        if (text_) {
            translated_.clear();
            translated_.reserve(size * 2);
            for (const char* p = begin; p != end; ++p) {
                if (*p == '\n') translated_.push_back('\r');
                translated_.push_back(*p);
            }
            data = translated_.data();
            size = translated_.size();
        }
        if (std::fwrite(data, 1, size, file_) != size) {
            lastError_ = errno != 0 ? errno : EIO;
            writeFailed_ = true;
        }
    }
    setp(put_, put_ + kBufferSize);
    if (std::fflush(file_) != 0 && !writeFailed_) {
        lastError_ = errno != 0 ? errno : EIO;
        writeFailed_ = true;
    }
    return !writeFailed_;
}

CrLfFileBuffer::int_type CrLfFileBuffer::overflow(int_type ch) {
    if (file_ == nullptr || reading_) return traits_type::eof();
    if (!flushOutput()) return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(ch);
        pbump(1);
    }
    return traits_type::not_eof(ch);
}

CrLfFileBuffer::int_type CrLfFileBuffer::underflow() {
    if (file_ == nullptr || !reading_) return traits_type::eof();
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    std::size_t got = std::fread(get_, 1, kBufferSize, file_);
    if (got == 0) return traits_type::eof();
    if (text_) {
        // A carriage return at the end of the block may start a CR LF pair.
        if (get_[got - 1] == '\r') {
            int next = std::fgetc(file_);
            if (next == '\n') {
                get_[got - 1] = '\n';
            } else if (next != EOF) {
                std::ungetc(next, file_);
            }
        }
        std::size_t out = 0;
        for (std::size_t i = 0; i < got; ++i) {
            if (get_[i] == '\r' && i + 1 < got && get_[i + 1] == '\n') continue;
            get_[out++] = get_[i];
        }
        got = out;
    }
    setg(get_, get_, get_ + got);
    return traits_type::to_int_type(*gptr());
}

int CrLfFileBuffer::sync() {
    if (file_ == nullptr || reading_) return 0;
    return flushOutput() ? 0 : -1;
}

}  // namespace generator
