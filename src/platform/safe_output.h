#pragma once
// Writing files so that nothing is half-written and nothing outside the tree
// is touched.
//
// An AtomicFile writes to a temporary file in the folder of its target and
// renames it over the target only when every byte is written and closed. A
// failed write (a full disk, an error) leaves the previous file as it was and
// no temporary file behind; a reader sees the old file or the whole new one,
// never a part. The rename replaces whatever stands at the target name -- a
// symbolic link (also a dangling one), a FIFO, a device node -- as a name in
// the folder: the link's target or the device is never opened.
//
// requireFolder() is for the folders of a tree the tools make themselves: a
// symbolic link or anything but a folder at such a path is an error naming
// it, so no file is ever written through a link to somewhere else.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Writing failed; what() names the file or folder and says why.
class OutputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// When to make the file system write the data out before the rename.
enum class Durability {
    // Only when an existing file is replaced: the previous good file then
    // survives a power failure right after the rename (on ext4 a rename over
    // a file starts that write-out anyway). A new file is not flushed.
    WhenReplacing,
    Always,
    Never,
};

// What a write may replace at its target's name.
enum class Replacing {
    // Any node, as a name in the folder (the project tree's files: a link or
    // FIFO put there is replaced, never followed or opened).
    AnyNode,
    // Only a regular file: a device, FIFO, socket, folder or link at the
    // target is refused by name (output_node.h), when the file is opened and
    // again right before the rename. For results, recordings and scripts.
    RegularFileOnly,
};

class AtomicFile {
  public:
    // Opens a temporary file beside `target`. On failure ok() is false and
    // problem() says why; writes are then ignored and commit() fails. A
    // directory at the target is a failure here already (EISDIR).
    explicit AtomicFile(std::filesystem::path target,
                        Durability durability = Durability::WhenReplacing,
                        Replacing replacing = Replacing::AnyNode);
    ~AtomicFile();  // discards the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Appends bytes; after the first failure nothing more is written.
    void write(const void* data, std::size_t size);
    void write(std::string_view text) { write(text.data(), text.size()); }
    // Moves the write position to `offset` bytes from the start, for formats
    // whose header is completed at the end (a movie's frame count). Returns
    // false (and sets the problem) when it cannot.
    bool seek(std::uint64_t offset);
    // Closes the temporary file and renames it over the target. Returns false
    // (and discards the temporary file) when any step failed.
    bool commit();
    // Removes the temporary file; the target stays as it was.
    void discard();

    bool ok() const { return problem_.empty(); }
    // The system's error number of the first failure; 0 while none.
    int errorNumber() const { return errorNumber_; }
    // The temporary file's descriptor, for writers that move bytes themselves
    // (an in-kernel copy); -1 when it could not be made. Such a writer
    // reports its own failure with markFailed.
    int descriptor() const { return fd_; }
    void markFailed(int error);
    // "<path>: <why>", empty while everything worked.
    const std::string& problem() const { return problem_; }
    const std::filesystem::path& target() const { return target_; }
    std::size_t bytesWritten() const { return written_; }

  private:
    void fail(const std::filesystem::path& where, const std::string& why, int error);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    Durability durability_;
    Replacing replacing_ = Replacing::AnyNode;
    int fd_ = -1;
    std::size_t written_ = 0;
    int errorNumber_ = 0;
    std::string problem_;
};

// Writes `bytes` to `target` through an AtomicFile. Returns the problem, empty
// on success.
std::string writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                Durability durability = Durability::WhenReplacing,
                                Replacing replacing = Replacing::AnyNode);

// Makes sure `folder` is a folder of its own: creates it when nothing is
// there; refuses a symbolic link (even to a folder) or any other kind of file
// at that path. Its parent must exist. Throws OutputError naming the path.
void requireFolder(const std::filesystem::path& folder);
// The same, returning the problem instead (empty when the folder is usable).
std::string folderProblem(const std::filesystem::path& folder);
// The same, returning only why (without the path), empty when usable.
std::string makeOwnFolder(const std::filesystem::path& folder);

// True when `file` is a regular file (not a link) holding exactly `bytes`:
// a writer may then leave it alone. Replacing a file by rename makes some
// file systems (ext4) write it out at once, which costs a rebuild of
// unchanged files far more than this comparison.
bool holdsExactly(const std::filesystem::path& file, std::string_view bytes);

// Removes `file` when it is there: a link is removed itself, never what it
// points to. Returns the problem, empty when the name is gone.
std::string removeFile(const std::filesystem::path& file);

// `text` cut to at most `limit` bytes (ending "..." when cut), so that a
// message never echoes a huge name or value.
std::string capped(std::string_view text, std::size_t limit = 300);

}  // namespace platform
