#include "viewer/playback_clock.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "scene/overlay.h"

namespace viewer {

namespace {

// The last step, 0, stands for "as fast as it computes".
constexpr std::array<double, 10> kSpeeds = {0.25, 0.5, 1, 2, 4, 8, 16, 32, 64, 0};

}  // namespace

void PlaybackClock::advance(double wallSeconds, double newest) {
    if (paused_) return;
    if (unlimited())
        time_ = std::max(time_, newest);
    else
        time_ = std::min(time_ + std::max(0.0, wallSeconds) * speed(), std::max(time_, newest));
}

void PlaybackClock::faster() { step_ = std::min(step_ + 1, static_cast<int>(kSpeeds.size()) - 1); }
void PlaybackClock::slower() { step_ = std::max(step_ - 1, 0); }

void PlaybackClock::setSpeed(double factor) {
    step_ = static_cast<int>(kSpeeds.size()) - 1;
    if (factor <= 0.0) return;
    step_ = 0;
    for (std::size_t i = 0; i + 1 < kSpeeds.size(); ++i)
        if (kSpeeds[i] <= factor * 1.41) step_ = static_cast<int>(i);  // within half a step
}

double PlaybackClock::speed() const { return kSpeeds[static_cast<std::size_t>(step_)]; }
bool PlaybackClock::unlimited() const { return speed() == 0.0; }

std::string PlaybackClock::label() const {
    const std::string s =
        unlimited() ? std::string("as fast as it computes") : scene::speedText(speed());
    return paused_ ? "paused (" + s + ")" : s;
}

}  // namespace viewer
