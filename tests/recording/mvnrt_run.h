#pragma once
// Helpers of the tests that run the real mvnrt to record: the program run
// in a folder, the example scenario they record, the summary it writes.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "support/runtime_test_helpers.h"

namespace recordingtest {

using runtimetest::Outcome;
using runtimetest::runMvnrt;

inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The corner corridor example (20 people, about 21 s), quoted for the shell.
inline std::string corridor() {
    std::string quoted = testsupport::sourcePath("examples/runtime/corner-corridor.json").string();
    quoted.insert(quoted.begin(), '\'');
    quoted.push_back('\'');
    return quoted;
}

inline nlohmann::json summaryOf(const std::filesystem::path& dir) {
    return nlohmann::json::parse(testsupport::readFile(dir / "summary.json"));
}

}  // namespace recordingtest
