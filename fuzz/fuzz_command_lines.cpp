// Fuzzes the command lines of mvnrt and escape-build, and escape-build's
// scenario files: arguments are the input split at NUL bytes (an input that
// starts with '{' is read as a scenario file instead). Anything is either
// read or refused with a message of bounded length; positions that are read
// become finite world positions or a refusal, never inf or NaN.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "scenario/build_request.h"
#include "inputs/mvnrt_options.h"

namespace {

void checkMessage(const std::exception& e) {
    if (std::string(e.what()).size() > 2000) __builtin_trap();  // a message must stay short
}

void checkPositions(const scenario::BuildRequest& r) {
    const float scale = r.scale.value_or(70.0f);
    try {
        for (const auto& [list, kind] :
             {std::pair{r.exits, scenario::PlacementKind::Exit},
              std::pair{r.clusters, scenario::PlacementKind::Cluster}}) {
            if (!list) continue;
            for (const scenario::WorldPosition& w : scenario::worldPositions(*list, kind, scale))
                if (!std::isfinite(w.x) || !std::isfinite(w.z)) __builtin_trap();
        }
    } catch (const scenario::UsageError& e) {
        checkMessage(e);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!text.empty() && text[0] == '{') {
        try {
            checkPositions(scenario::parseScenarioText(text, "scenario file"));
        } catch (const scenario::UsageError& e) {
            checkMessage(e);
        }
        return 0;
    }
    std::vector<std::string> args;
    std::size_t start = 0;
    while (start <= text.size() && args.size() < 64) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    try {
        runtime::parseOptions(args);
    } catch (const platform::InputError& e) {
        checkMessage(e);
    }
    try {
        checkPositions(cli::parseCommandLine(args).build);
    } catch (const platform::InputError& e) {
        checkMessage(e);
    }
    return 0;
}
