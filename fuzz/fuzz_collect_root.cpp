// Fuzzes --collect on a results root made from the input: the parts of the
// input between NUL bytes are, in turn, the sweep plan (sweep-plan.json,
// when the first part is not empty), the task list (tasks.tsv), then pairs
// of a folder name (run-K, a variant's name, anything) and the summary.json
// in it. Collecting either writes the aggregate or refuses with an
// InputError (or, when a name is in the way of the aggregate, an
// OutputError) whose message is short; nothing crashes or throws anything
// else, and nothing is written outside the root.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/input_error.h"
#include "platform/safe_output.h"
#include "studies/many_runs.h"
#include "studies/sweep_plan.h"
#include "studies/sweep_study.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> parts(const std::string& text) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == '\0') {
            if (out.size() == 64) break;
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

void put(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// A folder below the root (a variant's run folder "v/run-1" too), never
// above it.
bool usableName(const std::string& name) {
    if (name.empty() || name.size() >= 200 || name[0] == '/') return false;
    for (const auto& part : std::filesystem::path(name))
        if (part == "..") return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path base =
        fs::temp_directory_path() / ("fuzz-collect-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(base, ec);
    const fs::path root = base / "root";
    fs::create_directories(root);
    const std::vector<std::string> p = parts(std::string(reinterpret_cast<const char*>(data), size));
    // As a sweep's root holds them: written by mvnrt, listed in its manifest.
    put(root / ".mvnrt-results", "mvnrt results 1\nsweep-plan.json\ntasks.tsv\n");
    if (!p[0].empty()) put(root / "sweep-plan.json", p[0]);
    if (p.size() > 1 && !p[1].empty()) put(root / "tasks.tsv", p[1]);
    for (std::size_t k = 2; k + 1 < p.size(); k += 2) {
        if (!usableName(p[k])) continue;
        fs::create_directories(root / p[k], ec);
        if (!ec) put(root / p[k] / "summary.json", p[k + 1]);
    }
    try {
        if (runtime::hasPlan(root)) {
            (void)runtime::collectSweepRoot(root, true);
        } else {
            const std::vector<std::uint64_t> seeds = runtime::runSeedsIn(root);
            if (!seeds.empty()) (void)runtime::collectRuns(root, seeds, true, nullptr, nullptr);
        }
    } catch (const platform::InputError& e) {
        if (std::string(e.what()).size() > 2000) __builtin_trap();
    } catch (const platform::OutputError& e) {
        // An aggregate that cannot be written (a name in the way): mvnrt's
        // status 1, with this message.
        if (std::string(e.what()).size() > 2000) __builtin_trap();
    }
    // Nothing but the root may have appeared in its parent.
    for (const fs::directory_entry& e : fs::directory_iterator(base))
        if (e.path().filename() != "root") __builtin_trap();
    fs::remove_all(base, ec);
    return 0;
}
