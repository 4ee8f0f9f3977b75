#include "runtime/results_folder.h"

#include <system_error>

#include "platform/safe_input.h"
#include "platform/safe_output.h"

namespace runtime {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifestHeader = "mvnrt results 1";

}  // namespace

std::set<std::string> manifestNames(const fs::path& folder) {
    std::set<std::string> names;
    std::string text;
    try {
        text = platform::readRegularFile(folder / kManifestName, 64 * 1024);
    } catch (const platform::InputFileError&) {
        return names;  // none (or not one of ours): nothing is ours
    }
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kManifestHeader) return {};
            first = false;
        } else if (!line.empty()) {
            names.insert(line);
        }
    }
    return names;
}

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

    std::set<std::string> ours = manifestNames(folder_);
    std::string foreign;
    for (const std::string& name : names) {
        std::error_code ec;
        const auto status = fs::symlink_status(folder_ / name, ec);
        if (status.type() == fs::file_type::not_found || ours.count(name) != 0) continue;
        if (ec && status.type() == fs::file_type::none)
            throw platform::OutputError(platform::capped((folder_ / name).string()) + ": " +
                                        ec.message());
        foreign += (foreign.empty() ? "" : ", ") + name;
    }
    if (!foreign.empty())
        throw platform::OutputError(
            platform::capped(folder_.string()) + ": holds " + foreign +
            " that mvnrt did not write; choose another results folder (--out) or move them away");

    const std::size_t before = ours.size();
    ours.insert(names.begin(), names.end());
    if (ours.size() == before && fs::is_regular_file(folder_ / kManifestName)) return;
    std::string text = std::string(kManifestHeader) + "\n";
    for (const std::string& name : ours) text += name + "\n";
    const std::string problem = platform::writeFileAtomically(folder_ / kManifestName, text);
    if (!problem.empty()) throw platform::OutputError(problem);
}

std::string ResultsFolder::write(std::string_view name, std::string_view bytes) const {
    return platform::writeFileAtomically(folder_ / name, bytes);
}

std::string ResultsFolder::remove(std::string_view name) const {
    return platform::removeFile(folder_ / name);
}

}  // namespace runtime
