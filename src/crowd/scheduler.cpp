#include "crowd/scheduler.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace crowd {

namespace {
// Jobs in a row that the caller ran alone before it stops waking the other
// threads, and for how many jobs it then does (some hundred steps of a
// simulation, a fraction of a second).
constexpr int kMissesBeforeAlone = 64;
constexpr int kJobsAlone = 256;
// A thread that is done looks out for the next job (or for the others to
// finish) this long before it sleeps: the jobs of a simulation step follow
// each other within some ten microseconds, and waking a sleeping thread
// takes 3 to 30 (measured on this kind of virtual machine), as long as a
// part of a small step. It yields the core at every look, so another
// program that wants the core gets it.
constexpr auto kLookBeforeSleeping = std::chrono::microseconds(200);

// Calls done() until it holds or the time is up; true if it holds.
template <class Done>
bool lookOutFor(Done done) {
    const auto until = std::chrono::steady_clock::now() + kLookBeforeSleeping;
    for (int look = 1;; ++look) {
        if (done()) return true;
        std::this_thread::yield();
        if (look % 16 == 0 && std::chrono::steady_clock::now() > until) return done();
    }
}
}  // namespace

// The job of the moment and its progress, under one mutex: parts are claimed
// and counted done under it, so a worker that wakes late either finds a part
// left or nothing, never half a job.
struct PartScheduler::Crew {
    std::mutex mutex;
    std::condition_variable workToDo, allDone;
    void (*invoke)(void*, int) = nullptr;
    void* job = nullptr;
    int parts = 0, nextPart = 0;
    std::atomic<int> partsDone{0};
    std::atomic<std::uint64_t> round{0};
    std::atomic<bool> quit{false};
    std::vector<std::thread> workers;

    // Runs unclaimed parts of the current job until none is left; called
    // and returns with the lock held. Returns how many it ran.
    int claimParts(std::unique_lock<std::mutex>& lock) {
        int ran = 0;
        while (nextPart < parts) {
            ++ran;
            const int part = nextPart++;
            void (*const f)(void*, int) = invoke;
            void* const j = job;
            lock.unlock();
            f(j, part);
            lock.lock();
            if (partsDone.fetch_add(1) + 1 == parts) allDone.notify_one();
        }
        return ran;
    }

    void work() {
        std::uint64_t seen = 0;
        for (;;) {
            lookOutFor([&] { return quit.load() || round.load() != seen; });
            std::unique_lock<std::mutex> lock(mutex);
            workToDo.wait(lock, [&] { return quit.load() || round.load() != seen; });
            if (quit) return;
            seen = round;
            claimParts(lock);
        }
    }
};

PartScheduler::PartScheduler(int threads) {
    if (threads < 0 || threads > 64) throw std::invalid_argument("threads must be in [0, 64]");
    if (threads == 0) threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
    threads_ = threads;
    if (threads_ < 2) return;
    crew_ = std::make_unique<Crew>();
    for (int t = 1; t < threads_; ++t) crew_->workers.emplace_back([c = crew_.get()] { c->work(); });
}

PartScheduler::~PartScheduler() {
    if (!crew_) return;
    {
        const std::lock_guard<std::mutex> lock(crew_->mutex);
        crew_->quit = true;
    }
    crew_->workToDo.notify_all();
    for (std::thread& t : crew_->workers) t.join();
}

void PartScheduler::dispatch(int parts, void (*invoke)(void*, int), void* job) {
    Crew& c = *crew_;
    std::unique_lock<std::mutex> lock(c.mutex);
    c.invoke = invoke;
    c.job = job;
    c.parts = parts;
    c.nextPart = 0;
    c.partsDone = 0;
    ++c.round;
    // Wake as many workers as there are parts besides the caller's.
    if (parts - 1 >= static_cast<int>(c.workers.size()))
        c.workToDo.notify_all();
    else
        for (int k = 1; k < parts; ++k) c.workToDo.notify_one();
    const int ranHere = c.claimParts(lock);
    if (c.partsDone.load() != parts) {
        lock.unlock();
        lookOutFor([&] { return c.partsDone.load() == parts; });
        lock.lock();
        c.allDone.wait(lock, [&] { return c.partsDone.load() == c.parts; });
    }
    // Nobody else ran a part this time: the other threads did not get a
    // core in time. After a few such jobs in a row, stop waking them for a
    // while (the wake-up calls cost the caller); then try again.
    if (ranHere == parts) {
        if (++missedInARow_ >= kMissesBeforeAlone) {
            missedInARow_ = 0;
            aloneFor_ = kJobsAlone;
        }
    } else {
        missedInARow_ = 0;
    }
}

}  // namespace crowd
