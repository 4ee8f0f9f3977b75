// Throughput of the crowd simulation: agent-updates per second in a large
// square room at 1 person per m^2 (400, 2,000 and 10,000 people by default),
// with a door in the middle of each wall. Setup (navigation fields) is timed
// apart. Usage: crowd_bench [--people N,N,...] [--seconds S] [--density D]
// [--side S] (m; default: room for the people at the density) [--threads N]
// (default: one per core, at most two) [--repeat N] (default 3; the fastest
// run counts). Placing the people (on a jittered lattice, each spot checked
// free) is timed too.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "crowd/placement.h"
#include "crowd/rng.h"
#include "crowd/simulation.h"

using namespace crowd;

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A square hall of the given side (0: room for n people at the density,
// plus a metre each side) with a 2 m door in the middle of each wall.
CrowdSetup largeRoom(int n, double density, double side, std::uint64_t seed) {
    if (side <= 0.0) side = std::ceil(std::sqrt(n / density)) + 2.0;
    CrowdSetup s;
    s.area = WalkableArea({{{0, 0}, {side, 0}, {side, side}, {0, side}}});
    const double c = side / 2;
    s.exits = {{"south", {{c - 1, 0}, {c + 1, 0}}, {}, 0},
               {"east", {{side, c - 1}, {side, c + 1}}, {}, 0},
               {"north", {{c + 1, side}, {c - 1, side}}, {}, 0},
               {"west", {{0, c + 1}, {0, c - 1}}, {}, 0}};
    Rng rng(seed);
    Placer placer(s.area);
    // On a jittered lattice at the chosen density, so that placing is quick.
    const int perRow = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    const double step = std::min((side - 2.0) / perRow, 1.0 / std::sqrt(density));
    for (int i = 0; i < n; ++i) {
        PersonSpec p;
        p.radius = rng.uniform(0.25, 0.35);
        p.desiredSpeed = rng.uniform(1.08, 1.60);
        const Vec2 want{1.0 + (i % perRow + 0.5) * step + rng.uniform(-0.1, 0.1),
                        1.0 + (i / perRow + 0.5) * step + rng.uniform(-0.1, 0.1)};
        p.start = placer.nearestFree(want, p.radius).value_or(want);
        placer.add(p.start, p.radius);
        s.people.push_back(p);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes{400, 2000, 10000};
    double seconds = 4.0, density = 1.0, side = 0.0;
    int threads = 0, repeat = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--people") {
            sizes.clear();
            std::stringstream ss(argv[i + 1]);
            for (std::string t; std::getline(ss, t, ',');) sizes.push_back(std::atoi(t.c_str()));
        } else if (a == "--seconds") {
            seconds = std::atof(argv[i + 1]);
        } else if (a == "--side") {
            side = std::atof(argv[i + 1]);
        } else if (a == "--density") {
            density = std::atof(argv[i + 1]);
        } else if (a == "--threads") {
            threads = std::atoi(argv[i + 1]);
        } else if (a == "--repeat") {
            repeat = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    std::printf("%8s %8s %9s %9s %9s %13s %16s %14s %12s\n", "people", "threads", "room (m)",
                "place (s)", "setup (s)", "simulated (s)", "agent-updates/s", "ns per update",
                "x real time");
    // Each size runs `repeat` times (the same work every time) and the
    // fastest run counts: on a shared machine the slower ones measure the
    // other programs.
    for (int n : sizes) {
        const double p0 = now();
        CrowdSetup setup = largeRoom(n, density, side, 1);
        const double placeTime = now() - p0;
        setup.threads = threads;
        double best = 0.0, setupTime = 0.0, simulated = 0.0;
        std::uint64_t updates = 0;
        int usedThreads = 1;
        for (int r = 0; r < repeat; ++r) {
            const double t0 = now();
            Simulation sim(setup);
            const double t1 = now();
            while (sim.time() < seconds - 1e-9) sim.step();
            const double wall = now() - t1;
            if (r == 0 || wall < best) {
                best = wall;
                setupTime = t1 - t0;
            }
            updates = sim.agentUpdates();
            simulated = sim.time();
            usedThreads = sim.threads();
        }
        const double rate = static_cast<double>(updates) / best;
        std::printf("%8d %8d %9.0f %9.3f %9.3f %13.1f %16.0f %14.1f %12.2f\n", n, usedThreads,
                    setup.area.bounds().max.x, placeTime, setupTime, simulated, rate, 1e9 / rate,
                    simulated / best);
        std::fflush(stdout);
    }
    return 0;
}
