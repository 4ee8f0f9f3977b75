#include "run/results_folder.h"

#include <system_error>

#include "platform/output_node.h"
#include "platform/owned_entries.h"
#include "platform/safe_output.h"

namespace runtime {

namespace fs = std::filesystem;

std::set<std::string> manifestNames(const fs::path& folder) { return platform::ownedNames(folder); }

ResultsFolder::ResultsFolder(fs::path folder, bool userNamed, const std::vector<std::string>& names)
    : folder_(std::move(folder)) {
    if (userNamed) {
        std::error_code ec;
        fs::create_directories(folder_, ec);
        if (!fs::is_directory(folder_, ec))
            throw platform::OutputError(platform::capped(folder_.string()) +
                                        ": cannot create the results folder" +
                                        (ec ? ": " + ec.message() : std::string()));
    } else {
        platform::requireFolder(folder_);
    }

    // Nothing is written before every name is known to take a regular file.
    for (const std::string& name : names)
        platform::requireOutputPath(folder_ / name, "a result");
    const std::string problem = platform::claimNames(folder_, names);
    if (!problem.empty()) throw platform::OutputError(problem);
}

std::string ResultsFolder::write(std::string_view name, std::string_view bytes) const {
    return platform::writeFileAtomically(folder_ / name, bytes, platform::Durability::WhenReplacing,
                                         platform::Replacing::RegularFileOnly);
}

std::string ResultsFolder::remove(std::string_view name) const {
    return platform::removeOwned(folder_, std::string(name));
}

}  // namespace runtime
