#include "runtime/single_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "crowd/runner.h"
#include "crowd/simulation.h"
#include "runtime/plot.h"

namespace runtime {

SingleRunResult runPrepared(const PreparedRun& prep, const Options& opt, const RunHooks& hooks) {
    crowd::Simulation sim(prep.setup);
    SingleRunResult out;

    std::error_code ec;
    std::filesystem::create_directories(prep.outDir, ec);
    if (!std::filesystem::is_directory(prep.outDir)) {
        std::cerr << "mvnrt: " << prep.outDir.string() << ": cannot create the results folder\n";
        out.status = 1;
        return out;
    }

    std::optional<TrajectoryWriter> traj;
    const std::filesystem::path trajPath = prep.outDir / "trajectories.csv";
    if (opt.fps > 0.0) {
        traj.emplace(trajPath, prep.meta.unitsPerMetre);
        if (!traj->ok()) {
            std::cerr << "mvnrt: " << trajPath.string() << ": cannot be written\n";
            out.status = 1;
            return out;
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
    for (FrameSink* sink : hooks.sinks) {
        sink->begin(sim);
        if (sink->frameRate() > 0.0)
            ro.streams.push_back(
                {sink->frameRate(), [sink](const crowd::FrameView& f) { sink->frame(f); }});
    }
    if (hooks.onStart) hooks.onStart(sim);
    ro.progressSteps = 25;
    ro.onProgress = [&](const crowd::Simulation& s) {
        if (hooks.keepGoing && !hooks.keepGoing()) return false;
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
    std::vector<std::string> written;
    for (FrameSink* sink : hooks.sinks) {
        try {
            sink->finish(sim, out.summary);
            for (const std::string& w : sink->written()) written.push_back(w);
        } catch (const std::exception& e) {
            std::cerr << "mvnrt: " << e.what() << "\n";
            out.status = 1;
        }
    }
    try {
        if (traj) traj->close();
        writeSummaryJson(prep.outDir / "summary.json", prep.meta, out.summary, sim);
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        out.status = 1;
    }
    const std::string plotProblem = drawEvacuationPlot(plotData(prep.meta, sim, result.endTime),
                                                       prep.outDir / "evacuation.png");
    if (!plotProblem.empty()) std::cerr << "mvnrt: evacuation.png: " << plotProblem << "\n";

    if (!opt.quiet) {
        std::cout << reportText(prep.meta, out.summary, sim);
        for (const std::string& w : written) std::cout << "Recorded " << w << "\n";
        std::cout << "Results in " << prep.outDir.string() << ": summary.json"
                  << (traj ? ", trajectories.csv" : "")
                  << (plotProblem.empty() ? ", evacuation.png" : "") << "\n";
    }
    return out;
}

}  // namespace runtime
