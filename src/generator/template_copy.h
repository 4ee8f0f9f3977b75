#pragma once
// TemplateCopy: makes one file a byte-for-byte copy of another.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace generator {

// What stopped a copy from completing.
enum class CopyProblem {
    None,
    SourceMissing,          // the source does not exist; the destination was written empty
    SourceUnreadable,       // the source could not be opened; the destination was written empty
    DestinationUnopenable,  // the destination could not be created or emptied
    ReadFailed,             // reading the source failed part way
    WriteFailed,            // writing the destination failed
};

struct CopyReport {
    bool sourceOpened = false;       // the source could be opened for reading
    bool destinationOpened = false;  // the destination was created or emptied
    bool sameFile = false;           // both paths name one file: nothing was done
    bool complete = false;           // the destination holds every byte of the source
    std::uintmax_t bytes = 0;        // bytes written to the destination
    CopyProblem failure = CopyProblem::None;
    std::string cause;               // the system's reason for `failure`
    std::string problem;             // what went wrong, as a sentence; empty when complete
};

// Copies `source` to `destination` (system paths, opened through
// platform::nativePath). Nothing is translated: CR, LF, 0x1A and 0xFF bytes
// and a last line without a line end all arrive unchanged. The destination is
// created, or emptied, even when the source cannot be opened; it is then
// empty. When both paths name the same file the copy is skipped, so the
// source is never destroyed. The copy works in large blocks (in-kernel copy
// where the system offers it).
CopyReport TemplateCopy(std::string_view source, std::string_view destination);
// The same with host paths.
CopyReport copyHostFile(const std::filesystem::path& source,
                        const std::filesystem::path& destination);

}  // namespace generator
