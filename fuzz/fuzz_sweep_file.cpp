// Fuzzes the sweep file reader and the plan made from it: any bytes are a
// sweep (whose plan, task list and their reading back agree) or an
// InputError with a short message; nothing crashes or takes runaway
// memory. The scenario the variants name is a small room written into a
// temporary folder once.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/input_error.h"
#include "studies/sweep_file.h"
#include "studies/sweep_plan.h"

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path dir = [] {
        const fs::path d = fs::temp_directory_path() / ("fuzz-sweep-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::ofstream(d / "room.json")
            << R"({"name":"room","walkable":[[[0,0],[10,0],[10,8],[0,8]]],)"
               R"("exits":[{"name":"door","from":[10,3],"to":[10,5]}],)"
               R"("people":[{"x":2,"z":2},{"x":3,"z":4}]})";
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::temp_directory_path() / ("fuzz-sweep-" + std::to_string(::getpid())), ec);
        });
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const runtime::SweepDefinition sweep = runtime::parseSweepFile(text, folder() / "sweep.json");
        std::size_t runs = 0;
        for (const runtime::SweepVariant& v : sweep.variants) {
            runs += v.seeds.size();
            if (v.name.empty() || v.name.find('/') != std::string::npos || v.name[0] == '.')
                __builtin_trap();  // a variant's folder is one name under the root
        }
        if (runs > 1000000) __builtin_trap();
        if (runs > 20000) return 0;  // the plan's texts of a large sweep are slow to check here
        const runtime::SweepPlan plan = runtime::makePlan(sweep, 0);
        if (runtime::taskCount(plan) > runtime::kMaxArrayTasks) __builtin_trap();
        std::size_t planned = 0;
        for (const runtime::TaskRun& r : runtime::taskRuns(plan)) {
            (void)r;
            ++planned;
        }
        if (planned != runs) __builtin_trap();
        (void)runtime::planJsonText(plan);
        (void)runtime::taskListText(plan);
    } catch (const platform::InputError& e) {
        if (std::string(e.what()).size() > 2000) __builtin_trap();
    }
    return 0;
}
