#pragma once
// The folder mvnrt writes its results into, and which of its files are
// mvnrt's own.
//
// A small manifest in the folder (kManifestName) lists the names of the
// result files mvnrt wrote there. A result file of the same name that is not
// listed belongs to someone else: mvnrt then refuses the folder, naming those
// files, instead of writing over or deleting them (platform/owned_entries.h
// holds the rule). A device, FIFO, socket, folder or link at a result's name
// is refused by name before anything is written.

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/owned_entries.h"

namespace runtime {

inline constexpr const char* kManifestName = platform::kOwnedManifestName;

class ResultsFolder {
  public:
    // Makes `folder` ready for the result files `names`: a folder the user
    // named (--out) is created with its parents when missing and may be
    // reached through a link; mvnrt's own default folder must be a folder of
    // its own (not a link), created when missing. Refuses a folder that holds
    // files of those names mvnrt did not write. Records the names in the
    // manifest before anything else is written. Throws platform::OutputError.
    ResultsFolder(std::filesystem::path folder, bool userNamed,
                  const std::vector<std::string>& names);

    const std::filesystem::path& path() const { return folder_; }
    std::filesystem::path operator/(std::string_view name) const { return folder_ / name; }

    // Writes one result file whole. Returns the problem, empty on success.
    std::string write(std::string_view name, std::string_view bytes) const;
    // Removes a result file of an earlier run (only ever one of ours; see
    // platform::removeOwned).
    // Returns the problem, empty when the name is gone.
    std::string remove(std::string_view name) const;

  private:
    std::filesystem::path folder_;
};

// The names the manifest of `folder` lists; empty when it has none.
std::set<std::string> manifestNames(const std::filesystem::path& folder);

}  // namespace runtime
