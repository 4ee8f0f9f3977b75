#pragma once
// Opening input files without hanging or running out of memory.
//
// Only regular files are read (a symbolic link to one is fine). A FIFO, a
// device, a socket or a folder is refused by name, without blocking: the file
// is opened non-blocking and examined with fstat before a byte is read. The
// size is checked against the caller's limit before any memory is taken.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/input_error.h"

namespace platform {

// An input file cannot be used; what() names the file and says why.
class InputFileError : public InputError {
  public:
    using InputError::InputError;
};

// An open regular file, closed when the object goes.
class InputFile {
  public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    std::uint64_t size() const { return size_; }
    // Hands the descriptor over to the caller, who then closes it.
    int release();

  private:
    friend InputFile openRegularFile(const std::filesystem::path&, std::uint64_t, std::string*);
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Opens `file` for reading (blocking reads from then on) when it is a regular
// file of at most `maxBytes`. On failure the returned file is not open and
// `why` (when given) says why, without the file's name ("is a FIFO (named
// pipe), not a regular file"); without `why` the failure throws
// InputFileError naming the file.
InputFile openRegularFile(const std::filesystem::path& file, std::uint64_t maxBytes,
                          std::string* why = nullptr);

// The whole content of a regular file of at most `maxBytes`. Throws
// InputFileError.
std::string readRegularFile(const std::filesystem::path& file, std::uint64_t maxBytes);

}  // namespace platform
