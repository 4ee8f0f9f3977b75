// The model against measured crowds, on the scenario files of the validation
// suite (validation/scenarios): the flow through doors of four widths, and
// the speed in a corridor at five densities. `make validate` runs the same
// files through mvnrt for the report; these tests keep the defaults from
// drifting out of the measured bands. Labelled no-sanitize (some simulated
// minutes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "crowd/runner.h"
#include "crowd/simulation.h"
#include "inputs/scenario_file.h"
#include "support/test_support.h"

namespace {

runtime::ScenarioFile validationScenario(const std::string& name, std::uint64_t seed) {
    return runtime::loadScenario(testsupport::sourcePath("validation/scenarios/" + name).string(),
                                 seed);
}

// Persons per second between the 10 % and the 90 % mark of the people out;
// NaN when not everyone left within the scenario's time limit.
double doorFlow(const std::string& name, std::uint64_t seed) {
    const runtime::ScenarioFile f = validationScenario(name, seed);
    crowd::Simulation sim(f.setup);
    crowd::RunOptions o;
    o.frameRate = 0;
    o.timeLimit = f.setup.timeLimit;
    if (!crowd::run(sim, o).everyoneOut) return std::nan("");
    std::vector<double> t;
    for (std::size_t i = 0; i < sim.peopleCount(); ++i) t.push_back(sim.exitTime(static_cast<int>(i)));
    std::sort(t.begin(), t.end());
    const std::size_t n = t.size(), a = n / 10, b = n - n / 10;
    return static_cast<double>(b - a) / (t[b - 1] - t[a - 1]);
}

// Weidmann (1993): v = 1.34 (1 - exp(-1.913 (1/rho - 1/5.4))) m/s.
double weidmann(double density) {
    return 1.34 * (1.0 - std::exp(-1.913 * (1.0 / density - 1.0 / 5.4)));
}

}  // namespace

// Laboratory bottlenecks (Kretz et al. 2006, Seyfried et al. 2009, Liddle et
// al. 2011): 1.6 to 2.0 persons per metre per second, about linear in the
// width. Mean of three seeds per width. The open gap of the validation
// suite (validation/tests.json, door-flow) is held where it stands so that it
// cannot grow unseen: the 0.8 m door, where people pass in one file, at 1.45
// per metre or more, and the widest a hundredth of the band's top above it
// at most.
TEST(ModelCalibration, DoorFlowLiesInTheMeasuredBandFrom08To24Metres) {
    const struct {
        const char* file;
        double width;
        double lowest, highest;  // persons per metre per second
    } doors[] = {{"door-flow-0.8m.json", 0.8, 1.45, 2.0},
                 {"door-flow-1m.json", 1.0, 1.6, 2.0},
                 {"door-flow-1.6m.json", 1.6, 1.6, 2.0},
                 {"door-flow-2.4m.json", 2.4, 1.6, 2.02}};
    for (const auto& door : doors) {
        double sum = 0.0;
        for (std::uint64_t seed : {1u, 2u, 3u}) sum += doorFlow(door.file, seed);
        const double flow = sum / 3.0;
        std::printf("%.1f m door: %.2f persons/s (%.2f per metre)\n", door.width, flow,
                    flow / door.width);
        EXPECT_GE(flow, door.lowest * door.width) << door.file;
        EXPECT_LE(flow, door.highest * door.width) << door.file;
    }
}

// Mean speed along the periodic corridor (20 m x 4 m) between 10 s and 20 s,
// within 0.25 m/s of Weidmann's relation: no jam up to 4 persons/m^2.
TEST(ModelCalibration, CorridorSpeedFollowsWeidmannFrom05To4PersonsPerSquareMetre) {
    for (const char* density : {"0.5", "1", "2", "3", "4"}) {
        const runtime::ScenarioFile f =
            validationScenario(std::string("fundamental-diagram-") + density + ".json", 17);
        crowd::Simulation sim(f.setup);
        while (sim.time() < 10.0 - 1e-9) sim.step();
        double sum = 0.0;
        long samples = 0;
        while (sim.time() < 20.0 - 1e-9) {
            sim.step();
            if (sim.steps() % 10 != 0) continue;
            for (int i : sim.insidePeople()) sum += sim.velocity(i).x;
            samples += static_cast<long>(sim.insideCount());
        }
        const double rho = std::stod(density), v = sum / static_cast<double>(samples);
        std::printf("%s /m^2: %.3f m/s (Weidmann %.3f)\n", density, v, weidmann(rho));
        EXPECT_NEAR(v, weidmann(rho), 0.25) << density << " /m^2";
        EXPECT_GT(v, 0.05) << "jammed at " << density << " /m^2";
    }
}
