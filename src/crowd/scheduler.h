#pragma once
// Runs a job made of a fixed number of parts on a few threads. The parts are
// the same whatever the number of threads (each adds into its own sums), so
// the results do not depend on it, only the time does. Parts are claimed,
// not assigned: the calling thread runs every part that no other thread has
// started, so a worker that the system is slow to wake (another program
// holds the core) costs nothing but the wake-up call. A thread without work
// looks out for the next job for a fifth of a millisecond, handing its core
// to any other program that wants it at every look, and then sleeps.

#include <memory>

namespace crowd {

class PartScheduler {
  public:
    // threads: 1 to 64 (0: one per core, at most two). Throws
    // std::invalid_argument outside [0, 64].
    explicit PartScheduler(int threads);
    ~PartScheduler();
    PartScheduler(const PartScheduler&) = delete;
    PartScheduler& operator=(const PartScheduler&) = delete;

    int threads() const { return threads_; }

    // Calls job(0) ... job(parts - 1), at the same time where threads are
    // free, and returns when all are done. With `share` false (a job too
    // small to be worth a wake-up call) the calling thread runs them all.
    // So it does for a while after the other threads have repeatedly found
    // nothing left when they woke (another program holds the cores).
    template <class Job>
    void run(int parts, Job& job, bool share = true) {
        if (threads_ == 1 || !share || parts < 2 || alone()) {
            for (int p = 0; p < parts; ++p) job(p);
            return;
        }
        dispatch(parts, &call<Job>, &job);
    }

  private:
    template <class Job>
    static void call(void* job, int part) {
        (*static_cast<Job*>(job))(part);
    }
    void dispatch(int parts, void (*invoke)(void*, int), void* job);
    bool alone() {
        if (aloneFor_ == 0) return false;
        --aloneFor_;
        return true;
    }

    int threads_ = 1;
    int missedInARow_ = 0;  // jobs in which no other thread ran a part
    int aloneFor_ = 0;      // jobs still to run on the calling thread alone
    struct Crew;  // the other threads and what they share
    std::unique_ptr<Crew> crew_;
};

}  // namespace crowd
