#pragma once
// Pre-movement times: how long people wait before they walk off (noticing
// the alarm, deciding, gathering things). A constant or a distribution,
// drawn per person from the run's seed:
//   uniform    min, max (s)
//   normal     mean, sd (s), truncated at 0 (a negative draw is drawn again)
//   lognormal  mean, sd (s) of the time itself (not of its logarithm)
// In a scenario: "preMovement": 30, or {"distribution": "uniform", "min": 30,
// "max": 60}; on the command line: 30, uniform:30:60, normal:60:15,
// lognormal:60:20.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "crowd/model.h"
#include "crowd/rng.h"

namespace runtime {

struct PreMovement {
    enum class Kind { Constant, Uniform, Normal, LogNormal };
    Kind kind = Kind::Constant;
    double a = 0.0;  // the constant, min or mean (s)
    double b = 0.0;  // max or sd (s)

    double draw(crowd::Rng& rng) const;
    std::string text() const;  // "uniform 30-60 s", for the report
};

// Throws platform::InputError naming what is wrong.
PreMovement parsePreMovement(const std::string& text);
// Throws InputError naming `where` (the member's path).
PreMovement preMovementFromJson(const nlohmann::json& value, const std::string& where);

// Sets each person's preMovement from their distribution, in person order,
// from a stream of random numbers of its own (so the placement and speeds
// drawn from the same seed stay as they are).
void drawPreMovements(std::vector<crowd::PersonSpec>& people,
                      const std::vector<PreMovement>& distributions, std::uint64_t seed);

}  // namespace runtime
