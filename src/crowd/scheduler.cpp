#include "crowd/scheduler.h"

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace crowd {

namespace {
// Spins before a thread blocks waiting for the other: a step of a few hundred
// people takes some tens of microseconds, less than waking a blocked thread
// (a system call each way).
constexpr int kSpins = 2000;
constexpr int kYields = 50;
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
// Waits until `value` differs from `old`: spins, then yields the processor
// (when the machine is busy the other thread may be waiting for it), then
// blocks with `asleep` raised, so that the other side only makes the
// wake-up call when needed.
std::uint32_t awaitChange(const std::atomic<std::uint32_t>& value, std::uint32_t old,
                          std::atomic<bool>& asleep) {
    for (int spin = 0; spin < kSpins + kYields; ++spin) {
        const std::uint32_t v = value.load(std::memory_order_acquire);
        if (v != old) return v;
        if (spin < kSpins)
            relax();
        else
            std::this_thread::yield();
    }
    for (;;) {
        asleep.store(true);
        if (value.load() == old) value.wait(old);
        asleep.store(false);
        const std::uint32_t v = value.load(std::memory_order_acquire);
        if (v != old) return v;
    }
}
void publish(std::atomic<std::uint32_t>& value, std::uint32_t v, const std::atomic<bool>& asleep) {
    value.store(v);
    if (asleep.load()) value.notify_one();
}
}  // namespace

// The second thread runs part 1 of each job while the caller runs part 0.
struct PartScheduler::Worker {
    void (*call)(void*, int) = nullptr;
    void* job = nullptr;
    std::atomic<std::uint32_t> started{0}, finished{0};
    std::atomic<bool> quit{false}, workerAsleep{false}, callerAsleep{false};
    std::thread thread;

    void loop() {
        std::uint32_t seen = 0;
        for (;;) {
            seen = awaitChange(started, seen, workerAsleep);
            if (quit.load(std::memory_order_relaxed)) return;
            call(job, 1);
            publish(finished, seen, callerAsleep);
        }
    }
};

PartScheduler::PartScheduler(int threads) {
    if (threads < 0 || threads > 64) throw std::invalid_argument("threads must be in [0, 64]");
    // Handing the parts over costs some microseconds a step, and far more
    // when another program holds the second core: on a shared 2-core machine
    // two threads ran 10,000 people 25 % faster when it was idle, but every
    // size slower than one thread when it was busy. So one, unless asked.
    if (threads >= 2) {
        worker_ = std::make_unique<Worker>();
        worker_->thread = std::thread([w = worker_.get()] { w->loop(); });
    }
}

PartScheduler::~PartScheduler() {
    if (worker_) {
        worker_->quit.store(true, std::memory_order_relaxed);
        worker_->started.fetch_add(1);
        worker_->started.notify_one();
        worker_->thread.join();
    }
}

int PartScheduler::threads() const { return worker_ ? 2 : 1; }

void PartScheduler::run(void (*invoke)(void*, int), void* job) {
    if (!worker_) {
        invoke(job, 0);
        invoke(job, 1);
        return;
    }
    Worker& w = *worker_;
    w.call = invoke;
    w.job = job;
    const std::uint32_t round = w.started.load(std::memory_order_relaxed) + 1;
    publish(w.started, round, w.workerAsleep);
    invoke(job, 0);
    std::uint32_t f = w.finished.load(std::memory_order_acquire);
    while (f != round) f = awaitChange(w.finished, f, w.callerAsleep);
}

}  // namespace crowd
