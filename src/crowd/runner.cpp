#include "crowd/runner.h"

#include <chrono>
#include <cmath>

namespace crowd {

RunResult run(Simulation& sim, const RunOptions& opt) {
    const auto start = std::chrono::steady_clock::now();
    RunResult result;
    const double dt = sim.dt();
    const bool hasExits = !sim.world().exits().empty();
    std::vector<FrameStream> streams;
    if (opt.frameRate > 0.0 && opt.onFrame) streams.push_back({opt.frameRate, opt.onFrame});
    for (const FrameStream& s : opt.streams)
        if (s.rate > 0.0 && s.onFrame) streams.push_back(s);
    // Per stream: the index of its next frame; frame k is at time k / rate.
    std::vector<std::uint64_t> nextFrame(streams.size(), 1);
    std::vector<int> ids;
    std::vector<Vec2> prev, out;

    auto frameTime = [&](std::size_t s, std::uint64_t k) {
        return static_cast<double>(k) / streams[s].rate;
    };
    if (!streams.empty()) {
        ids = sim.insidePeople();
        for (int i : ids) out.push_back(sim.position(i));
        for (const FrameStream& s : streams) s.onFrame({0.0, ids, out});
    }
    const auto maxSteps = static_cast<std::uint64_t>(std::ceil(opt.timeLimit / dt - 1e-9));
    std::vector<int> inFrame;
    while (sim.steps() < maxSteps && !(hasExits && sim.insideCount() == 0)) {
        const double t0 = sim.time();
        const double t1 = t0 + dt;
        bool frameDue = false;
        for (std::size_t s = 0; s < streams.size(); ++s)
            frameDue = frameDue || frameTime(s, nextFrame[s]) <= t1 + 1e-9;
        if (frameDue) {
            ids = sim.insidePeople();
            prev.clear();
            for (int i : ids) prev.push_back(sim.position(i));
        }
        sim.step();
        for (std::size_t s = 0; frameDue && s < streams.size(); ++s) {
            while (frameTime(s, nextFrame[s]) <= t1 + 1e-9) {
                const double tf = frameTime(s, nextFrame[s]);
                const double alpha = std::fmin(1.0, std::fmax(0.0, (tf - t0) / dt));
                inFrame.clear();
                out.clear();
                for (std::size_t k = 0; k < ids.size(); ++k) {
                    const int i = ids[k];
                    if (!sim.inside(i) && sim.exitTime(i) <= tf + 1e-9) continue;
                    const Vec2 cur = sim.position(i);
                    const Vec2 p = prev[k];
                    // A jump (wrap-around in a periodic corridor) is not interpolated.
                    const bool jump = std::fabs(cur.x - p.x) > 1.0 || std::fabs(cur.y - p.y) > 1.0;
                    out.push_back(
                        jump ? cur
                             : Vec2{p.x + alpha * (cur.x - p.x), p.y + alpha * (cur.y - p.y)});
                    inFrame.push_back(i);
                }
                streams[s].onFrame({tf, inFrame, out});
                ++nextFrame[s];
            }
        }
        if (opt.onProgress && opt.progressSteps > 0 &&
            sim.steps() % static_cast<std::uint64_t>(opt.progressSteps) == 0)
            if (!opt.onProgress(sim)) break;
    }
    result.endTime = sim.time();
    result.everyoneOut = hasExits && sim.insideCount() == 0;
    result.steps = sim.steps();
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

}  // namespace crowd
