#pragma once
// The live window's frame feed: a frame sink at 24 frames per simulated
// second whose frames go from the simulation's thread to the window's through
// a bounded queue. When the picture is far behind (or paused) the queue fills
// and the simulation waits for it; the feed only reads the simulation, so the
// results are the same with or without a window. Closing it lets a waiting
// simulation go on and asks the run to stop.

#include <memory>
#include <string>
#include <vector>

#include "run/frame_sink.h"
#include "scene/scene.h"

namespace viewer {

// A frame with what the overlay tells about that moment.
struct LiveFrame {
    scene::SceneFrame frame;
    std::vector<int> outByExit;  // people out by each exit up to the frame's time
};

class LiveFeed : public runtime::FrameSink {
  public:
    static constexpr double kFrameRate = 24.0;
    // At most `capacity` frames wait for the window.
    LiveFeed(std::vector<std::string> exitNames, std::size_t capacity = 48);
    ~LiveFeed() override;

    // On the simulation's thread.
    double frameRate() const override { return kFrameRate; }
    void begin(const crowd::Simulation& sim) override;
    void frame(const crowd::FrameView& f) override;
    // When everyone got out between two frames: one more frame, empty, at
    // the time the last person left, so that the picture ends as the run did.
    void finish(const crowd::Simulation& sim, const runtime::RunSummary& summary) override;

    // On the window's thread.
    // The scene, once the simulation has begun (false before).
    bool scene(scene::SceneDescription& out) const;
    // Frames up to simulated time t, and the first one after it; the rest stay.
    std::vector<LiveFrame> takeUntil(double t);
    // The time of the newest frame waiting; negative when none waits.
    double newestWaiting() const;
    // The simulation need not wait any more; frames are dropped from now on.
    // `shownTime`: the simulated time the picture showed when the user
    // closed it (negative when not known).
    void close(double shownTime = -1.0);
    bool closed() const;
    // On any thread: the time the picture showed at close; negative when not
    // closed by the user.
    double shownAtClose() const;

  private:
    void push(LiveFrame frame);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace viewer
