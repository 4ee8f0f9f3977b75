#include "viewer/live_feed.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "crowd/simulation.h"

namespace viewer {

struct LiveFeed::Impl {
    std::vector<std::string> exitNames;
    std::size_t capacity;
    const crowd::Simulation* sim = nullptr;
    mutable std::mutex mutex;
    std::condition_variable room;
    std::deque<LiveFrame> queue;
    bool hasScene = false;
    scene::SceneDescription description;
    bool closed = false;
    double shownAtClose = -1.0;
    double lastTime = -1.0;  // of the newest frame handed over
};

LiveFeed::LiveFeed(std::vector<std::string> exitNames, std::size_t capacity)
    : impl_(std::make_unique<Impl>()) {
    impl_->exitNames = std::move(exitNames);
    impl_->capacity = std::max<std::size_t>(capacity, 2);
}

LiveFeed::~LiveFeed() = default;

void LiveFeed::begin(const crowd::Simulation& sim) {
    scene::SceneDescription d =
        scene::describeWorld(sim.world(), sim.setup().people, impl_->exitNames);
    std::lock_guard lock(impl_->mutex);
    impl_->sim = &sim;
    impl_->description = std::move(d);
    impl_->hasScene = true;
}

void LiveFeed::frame(const crowd::FrameView& f) {
    LiveFrame lf;
    lf.frame.time = f.time;
    lf.frame.people = f.people;
    lf.frame.positions = f.positions;
    // People out by each exit at the frame's time (the simulation is between
    // steps here; somebody who left in this step after f.time is not out yet).
    const crowd::Simulation& sim = *impl_->sim;
    lf.outByExit.assign(sim.world().exits().size(), 0);
    for (std::size_t i = 0; i < sim.peopleCount(); ++i) {
        const int e = sim.exitUsed(static_cast<int>(i));
        if (e >= 0 && sim.exitTime(static_cast<int>(i)) <= f.time + 1e-9)
            ++lf.outByExit[static_cast<std::size_t>(e)];
    }
    push(std::move(lf));
}

void LiveFeed::push(LiveFrame lf) {
    std::unique_lock lock(impl_->mutex);
    impl_->room.wait(lock, [&] { return impl_->closed || impl_->queue.size() < impl_->capacity; });
    if (impl_->closed) return;
    impl_->lastTime = lf.frame.time;
    impl_->queue.push_back(std::move(lf));
}

void LiveFeed::finish(const crowd::Simulation& /*sim*/, const runtime::RunSummary& summary) {
    double last = 0.0;
    {
        std::lock_guard lock(impl_->mutex);
        last = impl_->lastTime;
    }
    if (!summary.everyoneOut || summary.evacuationTime <= last + 1e-9) return;
    LiveFrame lf;
    lf.frame.time = summary.evacuationTime;
    lf.outByExit = summary.outByExit;
    push(std::move(lf));
}

bool LiveFeed::scene(scene::SceneDescription& out) const {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->hasScene) return false;
    out = impl_->description;
    return true;
}

std::vector<LiveFrame> LiveFeed::takeUntil(double t) {
    std::vector<LiveFrame> out;
    {
        std::lock_guard lock(impl_->mutex);
        while (!impl_->queue.empty()) {
            const bool after = impl_->queue.front().frame.time > t;
            out.push_back(std::move(impl_->queue.front()));
            impl_->queue.pop_front();
            if (after) break;
        }
    }
    if (!out.empty()) impl_->room.notify_all();
    return out;
}

double LiveFeed::newestWaiting() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->queue.empty() ? -1.0 : impl_->queue.back().frame.time;
}

void LiveFeed::close(double shownTime) {
    {
        std::lock_guard lock(impl_->mutex);
        if (!impl_->closed) impl_->shownAtClose = shownTime;
        impl_->closed = true;
        impl_->queue.clear();
    }
    impl_->room.notify_all();
}

double LiveFeed::shownAtClose() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->shownAtClose;
}

bool LiveFeed::closed() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->closed;
}

}  // namespace viewer
