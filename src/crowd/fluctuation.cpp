#include "crowd/fluctuation.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace crowd {

namespace {
constexpr double kNervousTime = 1.0;  // s, over which nervousness is judged
constexpr double kCalmWant = 0.05;    // m/s: wanting less than this, one is calm
}  // namespace

Fluctuations::Fluctuations(const ModelParams& params, std::uint64_t seed, std::size_t people)
    : params_(params),
      seed_(seed),
      walkMean_(people, 0.0),
      couldWalk_(people, 0.0),
      wantMean_(people, 0.0) {
    if (!(params.fluctuation >= 0.0 && params.fluctuation <= 1e4))
        throw std::invalid_argument("the fluctuation must be in [0, 1e4] N");
    if (!(params.nervousFluctuation >= 0.0 && params.nervousFluctuation <= 1e4))
        throw std::invalid_argument("the nervous fluctuation must be in [0, 1e4] N");
    everySteps_ = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::floor(params.fluctuationInterval / params.dt + 1e-9)));
}

void Fluctuations::update(std::uint64_t step, const std::vector<int>& people, std::size_t from,
                          std::size_t to, const std::vector<Body>& bodies,
                          std::vector<Intent>& intents) {
    const ModelParams& mp = params_;
    if (!(mp.fluctuation > 0.0 || mp.nervousFluctuation > 0.0) || step % everySteps_ != 0) return;
    // n = 1 - (mean speed made toward one's goal) / (mean speed one wants),
    // means over about a second, and the fluctuation grows from its normal
    // strength to the nervous one with n. Someone who waits in a queue
    // wants little (the free distance ahead is short) and is calm; someone
    // wedged in an arch across a door, with the way ahead free and no
    // progress, grows nervous and struggles. The speed one could be making
    // is the desired speed (after the headway) seen through the relaxation
    // time: someone starting to walk is not nervous for being slow at first.
    const double alpha = std::min(1.0, mp.fluctuationInterval / kNervousTime);
    const double relax = 1.0 - std::exp(-mp.fluctuationInterval / mp.tau);
    const double twoPi = 2.0 * std::acos(-1.0);
    const std::uint64_t interval = step / everySteps_;
    for (std::size_t s = from; s < to; ++s) {
        const int i = people[s];
        Intent& me = intents[i];
        const double walk = std::max(0.0, bodies[i].vx * me.navX + bodies[i].vy * me.navY);
        walkMean_[i] += alpha * (walk - walkMean_[i]);
        couldWalk_[i] += relax * (me.heldSpeed - couldWalk_[i]);
        wantMean_[i] += alpha * (couldWalk_[i] - wantMean_[i]);
        const double nervous = wantMean_[i] > kCalmWant
                                   ? std::clamp(1.0 - walkMean_[i] / wantMean_[i], 0.0, 1.0)
                                   : 0.0;
        const double strength = (1.0 - nervous) * mp.fluctuation + nervous * mp.nervousFluctuation;
        const auto who = static_cast<std::uint64_t>(i);
        const double a = twoPi * keyedUniform01(seed_, interval, who, 0);
        const double m = strength * std::sqrt(keyedUniform01(seed_, interval, who, 1));
        me.fluctX = m * std::cos(a);
        me.fluctY = m * std::sin(a);
    }
}

}  // namespace crowd
