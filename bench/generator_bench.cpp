// A whole project build of the dialog's default scenario (5 pairs, 5 adults,
// 5 children, no placements, the basic floor) into a scratch directory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "generator/project_builder.h"

namespace fs = std::filesystem;

static void BM_DefaultScenarioBuild(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / ("escape-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy(fs::path(ESCAPE_SOURCE_DIR) / "unchanged", dir / "unchanged",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    scenario::ScenarioSettings settings;
    settings.pairCount = settings.adultCount = settings.childCount = 5;
    settings.floorPath = "unchanged\\floor.kvx";
    settings.startDirectory = dir.string();
    settings.floorScale = 70;
    for (auto _ : state) {
        auto report = generator::buildProject(settings, dir);
        if (!report.complete()) state.SkipWithError(report.failures.front().reason().c_str());
        benchmark::DoNotOptimize(report);
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_DefaultScenarioBuild)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
