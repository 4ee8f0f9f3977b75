#include "scenario/build_record.h"

#include "platform/safe_output.h"

namespace scenario {

std::filesystem::path buildRecordPath(const std::filesystem::path& startDirectory) {
    return startDirectory / kBuildRecordName;
}

std::string writeBuildRecord(const std::filesystem::path& startDirectory,
                             const BuildRequest& request) {
    const std::filesystem::path file = buildRecordPath(startDirectory);
    std::string problem = platform::writeFileAtomically(file, scenarioFileText(request));
    if (!problem.empty()) {
        const std::string removed = platform::removeFile(file);
        if (!removed.empty()) problem += "; the older record could not be removed either: " + removed;
    }
    return problem;
}

}  // namespace scenario
