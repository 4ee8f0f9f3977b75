// Fuzzes the scenario reader of mvnrt: any bytes either read as a scenario or
// give an InputError naming the member; nothing crashes, hangs or takes
// runaway memory. A small scenario that reads is also simulated for a
// while, so extreme model values meet the force code.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "crowd/setup_limits.h"
#include "crowd/simulation.h"
#include "platform/strict_json.h"
#include "inputs/project.h"
#include "inputs/scenario_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Placing a large crowd is legitimately slow under the sanitizers: only
    // scenarios of a few hundred people are read here.
    try {
        const auto j = platform::parseStrictJson(text);
        std::uint64_t people = 0;
        if (j.is_object() && j.contains("people") && j["people"].is_array()) people += j["people"].size();
        if (j.is_object() && j.contains("fill") && j["fill"].is_array())
            for (const auto& f : j["fill"])
                if (f.is_object() && f.contains("count") && f["count"].is_number_unsigned())
                    people += std::min<std::uint64_t>(f["count"].get<std::uint64_t>(), 1u << 20);
        if (people > 200) return 0;
    } catch (const platform::JsonError&) {
    }
    try {
        runtime::ScenarioFile f = runtime::parseScenario(text);
        crowd::CrowdSetup& setup = f.setup;
        if (crowd::setupProblem(setup)) return 0;
        // Keep each input quick: few people on a small floor.
        const crowd::Box b = setup.area.bounds();
        if (setup.people.size() > 30 || b.max.x - b.min.x > 60.0 || b.max.y - b.min.y > 60.0)
            return 0;
        for (const crowd::ExitSpec& e : setup.exits)
            for (const crowd::Vec2& p : {e.segment.a, e.segment.b})
                if (std::fabs(p.x) > 100.0 || std::fabs(p.y) > 100.0) return 0;
        crowd::Simulation sim(setup);
        for (int s = 0; s < 100 && sim.insideCount() > 0; ++s) sim.step();
        for (std::size_t i = 0; i < sim.peopleCount(); ++i)
            if (sim.inside(static_cast<int>(i)) &&
                !(std::isfinite(sim.position(static_cast<int>(i)).x) &&
                  std::isfinite(sim.position(static_cast<int>(i)).y)))
                __builtin_trap();  // a position went non-finite
    } catch (const runtime::InputError&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
