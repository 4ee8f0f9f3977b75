#pragma once
// A forward-only byte reader over a file or a block of memory, handed out in
// chunks. The floor reader and the number reader consume bytes through it one
// at a time (peek / bump) or a chunk at a time (cur / end / advanceTo); it
// keeps no more than one chunk of the input in memory.
//
// It also tracks the one stream condition that matters to the floor reader:
// whether a look at the next byte has met the end of the input (what a
// formatted stream records as its end-of-file bit, after which every further
// read fails).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace floorplan {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // The next byte (0..255) without consuming it, or -1 at the end of the
    // input; -1 also marks the source as having met the end.
    int peek() { return p_ != end_ ? *p_ : slowPeek(); }
    // Consumes the byte that peek() returned; only after peek() != -1.
    void bump() { ++p_; }

    // Direct access to the bytes of the current chunk that are not yet
    // consumed: [cur(), end()). Empty when the chunk is used up; peek() loads
    // the next one.
    const unsigned char* cur() const { return p_; }
    const unsigned char* end() const { return end_; }
    // Consumes the bytes of the current chunk up to q (cur() <= q <= end()).
    void advanceTo(const unsigned char* q) { p_ = q; }

    // True once a look at the next byte has met the end of the input.
    bool hitEnd() const { return hitEnd_; }
    // Bytes consumed so far.
    std::uint64_t offset() const { return before_ + static_cast<std::uint64_t>(p_ - begin_); }

protected:
    // Supplies the next chunk in [begin, end); false when there is none.
    virtual bool nextChunk(const unsigned char*& begin, const unsigned char*& end) = 0;

private:
    int slowPeek();

    const unsigned char* begin_ = nullptr;
    const unsigned char* p_ = nullptr;
    const unsigned char* end_ = nullptr;
    std::uint64_t before_ = 0;  // bytes of the chunks before the current one
    bool hitEnd_ = false;
};

// Bytes held in memory, handed out in chunks of at most `chunkSize` bytes
// (all at once by default; small chunks exercise the chunk boundaries).
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes, std::size_t chunkSize = 0);

protected:
    bool nextChunk(const unsigned char*& begin, const unsigned char*& end) override;

private:
    const unsigned char* next_;
    const unsigned char* last_;
    std::size_t chunk_;
};

// A file opened for reading as bytes, read through a fixed buffer.
class FileByteSource final : public ByteSource {
public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    explicit FileByteSource(const std::filesystem::path& file);
    ~FileByteSource() override;

    bool isOpen() const { return file_ != nullptr; }
    // Why the file could not be opened ("does not exist", "is a FIFO (named
    // pipe), not a regular file"); empty when it was.
    const std::string& openProblem() const { return openProblem_; }
    // True when reading stopped on an error rather than the end of the file
    // (a directory, an I/O error).
    bool readError() const { return readError_; }

protected:
    bool nextChunk(const unsigned char*& begin, const unsigned char*& end) override;

private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<unsigned char[]> buffer_;
    bool readError_ = false;
    std::string openProblem_;
};

}  // namespace floorplan
