#pragma once
// A file buffer with the line-end rules of a Windows text-mode file, on every
// platform: in text mode each "\n" written is stored as "\r\n" and each "\r\n"
// read comes back as "\n"; in binary mode bytes pass unchanged. The project's
// generated files are written through it so that they carry CR LF everywhere.

#include <cstdio>
#include <filesystem>
#include <ios>
#include <memory>
#include <streambuf>
#include <string>

namespace platform {
class AtomicFile;
}

namespace generator {

class CrLfFileBuffer : public std::streambuf {
  public:
    CrLfFileBuffer();
    ~CrLfFileBuffer() override;
    CrLfFileBuffer(const CrLfFileBuffer&) = delete;
    CrLfFileBuffer& operator=(const CrLfFileBuffer&) = delete;

    // Opens `file` like std::filebuf::open: out (with or without trunc)
    // creates or empties -- through a temporary file that replaces `file` at
    // close only when everything was written --, app appends, in reads,
    // in|out updates. Returns this
    // buffer, or nullptr when a file is already open or the open fails; then
    // lastError() holds the system's error number.
    CrLfFileBuffer* open(const std::filesystem::path& file, std::ios_base::openmode mode);
    bool is_open() const { return file_ != nullptr; }
    // Writes what is pending and closes. Returns nullptr when no file was open
    // or when writing or closing failed.
    CrLfFileBuffer* close();
    int lastError() const { return lastError_; }

  protected:
    int_type overflow(int_type ch) override;
    int_type underflow() override;
    int sync() override;

  private:
    bool flushOutput();

    std::FILE* file_ = nullptr;
    bool text_ = true;
    bool reading_ = false;
    bool writeFailed_ = false;
    // Create-or-empty mode: the temporary file that replaces the file at close.
    std::unique_ptr<platform::AtomicFile> atomic_;
    int lastError_ = 0;
    static constexpr std::size_t kBufferSize = 16384;
    char put_[kBufferSize];
    char get_[kBufferSize];
    std::string translated_;
};

}  // namespace generator
