#pragma once
// The command line of mvnrt.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace runtime {

struct Options {
    std::optional<std::string> scenario;  // --scenario FILE.json; none: the project ./bProj
    std::optional<std::uint64_t> seed;
    std::optional<double> timeLimit;
    std::optional<std::string> out;
    double fps = 24.0;
    int threads = 0;  // --threads 1 or 2; 0: one
    bool quiet = false;
    bool help = false;
};

// Throws std::invalid_argument with a message for the user.
Options parseOptions(const std::vector<std::string>& args);

std::string usageText();

}  // namespace runtime
