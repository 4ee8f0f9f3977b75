#pragma once
// Individual fluctuations and nervousness (Helbing, Farkas and Vicsek,
// "Freezing by heating", 2000): everyone gets a random force, drawn anew
// every ModelParams::fluctuationInterval, whose strength grows from the
// normal fluctuation toward the nervous one as a person makes less of the
// progress they want.

#include <cstdint>
#include <vector>

#include "crowd/model.h"
#include "crowd/people.h"
#include "crowd/rng.h"

namespace crowd {

class Fluctuations {
  public:
    // Throws std::invalid_argument for strengths outside [0, 1e4] N.
    Fluctuations(const ModelParams& params, std::uint64_t seed, std::size_t people);

    // At the start of step `step`: on every interval, judges the
    // nervousness of the people people[from, to) and draws their new
    // fluctuation forces into their Intent. Each person's draw depends on
    // the seed, the person and the interval only, so that parts of the
    // crowd can be drawn at the same time, in any order.
    void update(std::uint64_t step, const std::vector<int>& people, std::size_t from,
                std::size_t to, const std::vector<Body>& bodies, std::vector<Intent>& intents);

  private:
    ModelParams params_;
    std::uint64_t seed_;
    std::uint64_t everySteps_ = 1;
    // Per person, means over about a second, m/s: speed made toward the
    // goal, speed that could be made, and the speed wanted.
    std::vector<double> walkMean_, couldWalk_, wantMean_;
};

}  // namespace crowd
