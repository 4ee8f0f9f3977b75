// mvnrt: the stand-in for the Morvanta runtime. Started by escape-setup with
// no arguments in the folder that holds bProj, it reads the project and
// simulates the escape; with --scenario it runs a generic scenario instead.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "crowd/runner.h"
#include "crowd/simulation.h"
#include "runtime/options.h"
#include "runtime/plot.h"
#include "runtime/project.h"
#include "runtime/results.h"
#include "runtime/scenario_file.h"

namespace {

constexpr std::uint64_t kDefaultSeed = 1;

struct Prepared {
    crowd::CrowdSetup setup;
    runtime::RunMeta meta;
    std::filesystem::path outDir;
};

Prepared prepare(const runtime::Options& opt) {
    Prepared p;
    if (opt.scenario) {
        runtime::ScenarioFile f = runtime::loadScenario(*opt.scenario, opt.seed);
        p.setup = std::move(f.setup);
        p.meta.mode = "scenario";
        p.meta.source = *opt.scenario;
        p.meta.name = f.name;
        p.meta.seed = f.seed;
        p.meta.exitNames = f.exitNames;
        p.meta.unitsPerMetre = 1.0;
        p.meta.unitName = "m";
        p.outDir = opt.out ? std::filesystem::path(*opt.out) : std::filesystem::path("results");
    } else {
        const runtime::ProjectData data = runtime::readProject(std::filesystem::current_path());
        p.meta.seed = opt.seed.value_or(kDefaultSeed);
        runtime::ProjectSetup ps = runtime::buildProjectSetup(data, p.meta.seed);
        p.setup = std::move(ps.setup);
        p.meta.mode = "project";
        p.meta.source = "bProj";
        p.meta.name = "bProj";
        p.meta.exitNames = ps.exitNames;
        p.meta.unitsPerMetre = runtime::kProjectUnitsPerMetre;
        p.meta.unitName = "dm (world units)";
        if (ps.movedPeople > 0)
            p.meta.notes.push_back(std::to_string(ps.movedPeople) +
                                   " people started at the nearest free spot of the floor instead "
                                   "of where the script put them");
        if (ps.squeeze < 1.0)
            p.meta.notes.push_back(
                "the floor is too small for everyone standing apart: the last people were squeezed "
                "in, "
                "bodies overlapping by up to " +
                runtime::fixed(100.0 * (1.0 - ps.squeeze), 0) + " %");
        if (ps.outlineRepaired)
            p.meta.notes.push_back(
                "the floor outline crosses itself; its convex hull is used as the floor");
        if (data.script.recordKvx() || data.script.recordAvi())
            p.meta.notes.push_back(std::string("the script asks to record ") +
                                   (data.script.recordAvi() ? "a movie" : "a KVX motion file") +
                                   "; this runtime writes trajectories.csv instead");
        p.outDir =
            opt.out ? std::filesystem::path(*opt.out) : std::filesystem::path("bProj") / "results";
    }
    if (opt.timeLimit) p.setup.timeLimit = *opt.timeLimit;
    p.setup.threads = opt.threads;
    p.meta.timeLimit = p.setup.timeLimit;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    runtime::Options opt;
    try {
        opt = runtime::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        return 2;
    }
    if (opt.help) {
        std::cout << runtime::usageText();
        return 0;
    }

    Prepared prep;
    std::optional<crowd::Simulation> sim;
    try {
        prep = prepare(opt);
        sim.emplace(prep.setup);
    } catch (const runtime::InputError& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        return 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << "mvnrt: " << prep.meta.source << ": " << e.what() << "\n";
        return 2;
    }

    std::error_code ec;
    std::filesystem::create_directories(prep.outDir, ec);
    if (!std::filesystem::is_directory(prep.outDir)) {
        std::cerr << "mvnrt: " << prep.outDir.string() << ": cannot create the results folder\n";
        return 1;
    }

    std::optional<runtime::TrajectoryWriter> traj;
    const std::filesystem::path trajPath = prep.outDir / "trajectories.csv";
    if (opt.fps > 0.0) {
        traj.emplace(trajPath, prep.meta.unitsPerMetre);
        if (!traj->ok()) {
            std::cerr << "mvnrt: " << trajPath.string() << ": cannot be written\n";
            return 1;
        }
    } else {
        std::filesystem::remove(trajPath, ec);
    }

    // A progress line on a terminal once the run takes longer than a second.
    const bool terminal = !opt.quiet && ::isatty(STDOUT_FILENO);
    const auto started = std::chrono::steady_clock::now();
    double lastShown = 0.0;
    bool shown = false;
    crowd::RunOptions ro;
    ro.timeLimit = prep.setup.timeLimit;
    ro.frameRate = opt.fps;
    if (traj) ro.onFrame = [&](const crowd::FrameView& f) { traj->frame(f); };
    ro.progressSteps = 250;
    ro.onProgress = [&](const crowd::Simulation& s) {
        if (!terminal) return true;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (wall < 1.0 || wall - lastShown < 0.25) return true;
        lastShown = wall;
        shown = true;
        std::printf("\r  simulated %s s, %zu of %zu people inside, %s times real time   ",
                    runtime::fixed(s.time(), 1).c_str(), s.insideCount(), s.peopleCount(),
                    runtime::fixed(s.time() / wall, 1).c_str());
        std::fflush(stdout);
        return true;
    };
    const crowd::RunResult result = crowd::run(*sim, ro);
    if (shown) {
        std::printf("\r%78s\r", "");
        std::fflush(stdout);
    }

    const runtime::RunSummary summary = runtime::summarize(*sim, result);
    int status = 0;
    try {
        if (traj) traj->close();
        runtime::writeSummaryJson(prep.outDir / "summary.json", prep.meta, summary, *sim);
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        status = 1;
    }
    const std::string plotProblem = runtime::drawEvacuationPlot(
        runtime::plotData(prep.meta, *sim, result.endTime), prep.outDir / "evacuation.png");
    if (!plotProblem.empty()) std::cerr << "mvnrt: evacuation.png: " << plotProblem << "\n";

    if (!opt.quiet) {
        std::cout << runtime::reportText(prep.meta, summary, *sim);
        std::cout << "Results in " << prep.outDir.string() << ": summary.json"
                  << (traj ? ", trajectories.csv" : "")
                  << (plotProblem.empty() ? ", evacuation.png" : "") << "\n";
    }
    return status;
}
