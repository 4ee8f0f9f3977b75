#pragma once
// The clock of the picture: which simulated time the window shows. It runs at
// a chosen multiple of real time (x1/4 to x64) or as fast as the frames come
// ("as fast as it computes"), stops when paused, and never runs ahead of the
// newest frame there is.

#include <string>

namespace viewer {

class PlaybackClock {
  public:
    double time() const { return time_; }
    // Moves on by `wallSeconds` of real time, up to `newest` (simulated
    // seconds of the newest frame there is).
    void advance(double wallSeconds, double newest);
    void setTime(double t) { time_ = t; }

    bool paused() const { return paused_; }
    void setPaused(bool paused) { paused_ = paused; }
    void togglePause() { paused_ = !paused_; }

    void faster();
    void slower();
    // The nearest speed step to `factor` (0: as fast as it computes).
    void setSpeed(double factor);
    // Simulated seconds per real second; 0 for "as fast as it computes".
    double speed() const;
    bool unlimited() const;
    // "x1", "x1/4", "as fast as it computes", with "paused" in front when paused.
    std::string label() const;

  private:
    double time_ = 0.0;
    bool paused_ = false;
    int step_ = 2;  // index into the speeds: x1
};

}  // namespace viewer
