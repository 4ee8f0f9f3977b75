#pragma once
// Runs a job made of a fixed number of parts, on one thread or on two: the
// parts are the same either way (and add into their own sums), so the
// results do not depend on the number of threads, only the time does.

#include <memory>

namespace crowd {

class PartScheduler {
  public:
    // threads: 1 or 2 (0: one). Throws std::invalid_argument outside [0, 64].
    explicit PartScheduler(int threads);
    ~PartScheduler();
    PartScheduler(const PartScheduler&) = delete;
    PartScheduler& operator=(const PartScheduler&) = delete;

    int threads() const;

    // Calls job(0) and job(1), at the same time when there are two threads,
    // and returns when both are done.
    template <class Job>
    void runTwoParts(Job& job) {
        run(&call<Job>, &job);
    }

  private:
    template <class Job>
    static void call(void* job, int part) {
        (*static_cast<Job*>(job))(part);
    }
    void run(void (*invoke)(void*, int), void* job);

    struct Worker;  // the second thread and its hand-over
    std::unique_ptr<Worker> worker_;
};

}  // namespace crowd
