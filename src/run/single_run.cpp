#include "run/single_run.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "crowd/runner.h"
#include "crowd/simulation.h"
#include "platform/safe_output.h"
#include "run/plot.h"
#include "run/results_folder.h"
#include "run/run_report.h"

namespace runtime {

std::filesystem::path stoppedFolderBeside(const std::filesystem::path& folder) {
    std::filesystem::path f = folder.lexically_normal();
    if (!f.has_filename()) f = f.parent_path();
    return f.parent_path() / (f.filename().string() + "-stopped");
}

SingleRunResult runPrepared(const PreparedRun& prep, const Options& opt, const RunHooks& hooks) {
    crowd::Simulation sim(prep.setup);
    SingleRunResult out;

    // Only files mvnrt wrote itself are written over or removed.
    const bool wantsTrajectories = opt.fps > 0.0;
    std::vector<std::string> resultNames = {"summary.json"};
    if (wantsTrajectories) resultNames.push_back("trajectories.csv");
    if (drawsPlots()) resultNames.push_back("evacuation.png");
    for (const std::string& name : RunReport::fileNames()) resultNames.push_back(name);
    for (const std::string& name : hooks.resultFiles) resultNames.push_back(name);
    std::optional<ResultsFolder> folder;
    try {
        folder.emplace(prep.outDir, opt.out.has_value(), resultNames);
    } catch (const platform::OutputError& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        out.status = 1;
        return out;
    }

    std::optional<TrajectoryWriter> traj;
    const std::filesystem::path trajPath = *folder / "trajectories.csv";
    if (wantsTrajectories) {
        traj.emplace(trajPath);
        if (!traj->ok()) {
            std::cerr << "mvnrt: " << platform::capped(trajPath.string()) << ": cannot be written\n";
            out.status = 1;
            return out;
        }
    } else if (manifestNames(folder->path()).count("trajectories.csv") != 0) {
        const std::string problem = folder->remove("trajectories.csv");
        if (!problem.empty()) std::cerr << "mvnrt: " << problem << "\n";
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
    // Density, flows and the report page: measured in every run.
    RunReport report(folder->path(), prep.meta);
    std::vector<FrameSink*> sinks = hooks.sinks;
    sinks.push_back(&report);
    for (FrameSink* sink : sinks) {
        sink->begin(sim);
        if (sink->frameRate() > 0.0)
            ro.streams.push_back(
                {sink->frameRate(), [sink](const crowd::FrameView& f) { sink->frame(f); }});
    }
    if (hooks.onStart) hooks.onStart(sim);
    ro.progressSteps = 25;
    bool stopped = false;
    ro.onProgress = [&](const crowd::Simulation& s) {
        if (hooks.keepGoing && !hooks.keepGoing()) {
            stopped = true;
            return false;
        }
        if (!terminal || s.steps() % 250 != 0) return true;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (wall < 1.0 || wall - lastShown < 0.25) return true;
        lastShown = wall;
        shown = true;
        std::printf("\r  simulated %s s, %zu of %zu people inside, %s times real time   ",
                    fixed(s.time(), 1).c_str(), s.insideCount(), s.peopleCount(),
                    fixed(s.time() / wall, 1).c_str());
        std::fflush(stdout);
        return true;
    };
    const crowd::RunResult result = crowd::run(sim, ro);
    if (shown) {
        std::printf("\r%78s\r", "");
        std::fflush(stdout);
    }

    out.summary = summarize(sim, result);
    out.summary.stoppedByUser = stopped && !result.everyoneOut;
    if (out.summary.stoppedByUser) {
        const double seen = hooks.stoppedAt ? hooks.stoppedAt() : -1.0;
        out.summary.stoppedAt =
            seen >= 0.0 ? std::min(seen, out.summary.simulatedSeconds) : out.summary.simulatedSeconds;
    }
    std::filesystem::path resultsDir = prep.outDir;
    if (out.summary.stoppedByUser && opt.out && !opt.atomicOut) {
        // The folder the user named keeps its last complete results: the
        // stopped run is written beside it, without trajectories.
        resultsDir = stoppedFolderBeside(prep.outDir);
        try {
            folder.emplace(resultsDir, true, resultNames);
        } catch (const platform::OutputError& e) {
            std::cerr << "mvnrt: " << e.what() << "\n";
            out.status = 1;
            return out;
        }
        traj.reset();
        if (manifestNames(resultsDir).count("trajectories.csv") != 0) folder->remove("trajectories.csv");
        report.moveTo(resultsDir);
    }
    out.summary.folder = resultsDir.string();
    std::vector<std::string> written;
    for (FrameSink* sink : sinks) {
        try {
            sink->finish(sim, out.summary);
            for (const std::string& w : sink->written()) written.push_back(w);
            for (const Recording& r : sink->recordings()) out.summary.recordings.push_back(r);
        } catch (const std::exception& e) {
            std::cerr << "mvnrt: " << e.what() << "\n";
            out.status = 1;
        }
    }
    std::string wroteResults;
    auto wrote = [&](const char* name) { wroteResults += (wroteResults.empty() ? "" : ", ") + std::string(name); };
    try {
        writeSummaryJson(*folder / "summary.json", prep.meta, out.summary, sim);
        wrote("summary.json");
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        out.status = 1;
    }
    try {
        if (traj) {
            traj->close();
            wrote("trajectories.csv");
        }
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        out.status = 1;
    }
    if (drawsPlots()) {
        const std::string plotProblem = drawEvacuationPlot(
            plotData(prep.meta, sim, result.endTime), *folder / "evacuation.png");
        if (plotProblem.empty()) {
            wrote("evacuation.png");
        } else {
            std::cerr << "mvnrt: " << plotProblem << "\n";
            out.status = 1;
        }
    }

    for (const std::string& name : report.filesWritten()) wrote(name.c_str());

    if (!opt.quiet) {
        std::cout << reportText(prep.meta, out.summary, sim);
        for (const std::string& w : written) std::cout << "Recorded " << w << "\n";
        std::cout << "Results in " << resultsDir.string() << ": "
                  << (wroteResults.empty() ? std::string("none") : wroteResults) << "\n";
    }
    if (out.summary.stoppedByUser && out.status == 0) out.status = kStatusStoppedByUser;
    return out;
}

}  // namespace runtime
