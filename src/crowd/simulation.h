#pragma once
// The moving part: people under the social force model, advanced by a fixed
// time step with semi-implicit Euler. Each step first computes every
// acceleration from the state at the start of the step and only then moves
// everyone, so the result does not depend on the order in which people are
// visited. Neighbours come from a uniform cell grid (never all pairs).
// How the work is done lives in its own files: neighbour_grid, wall_grid,
// desired_velocity, fluctuation, forces, integrator and scheduler.

#include <cstdint>
#include <memory>
#include <vector>

#include "crowd/geometry.h"
#include "crowd/model.h"
#include "crowd/world.h"

namespace crowd {

class Simulation {
  public:
    // Builds the world and places nobody anew: people start where the setup
    // says. Throws std::invalid_argument for an unusable setup.
    explicit Simulation(const CrowdSetup& setup);
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    void step();

    const World& world() const;
    const CrowdSetup& setup() const;
    double dt() const;
    double time() const;
    std::uint64_t steps() const;
    std::uint64_t agentUpdates() const;

    // Threads the force computation runs on (CrowdSetup::threads; by
    // default one per core, at most two). The work is split in the same
    // parts whatever the number, so the results are bit for bit the same.
    int threads() const;

    std::size_t peopleCount() const;
    std::size_t insideCount() const;
    const std::vector<int>& insidePeople() const;  // ascending
    bool inside(int i) const;
    Vec2 position(int i) const;
    Vec2 velocity(int i) const;
    double radius(int i) const;
    // The desired speed of the last step, held to what the free distance
    // ahead allows within the headway time.
    double desiredSpeedNow(int i) const;
    // The exit walked to: chosen at the start, except that a parent whose
    // child is out takes the exit the child left by.
    int targetExit(int i) const;
    // The exit through which the person left, -1 while inside.
    int exitUsed(int i) const;
    // Simulated time of leaving; NaN while inside.
    double exitTime(int i) const;
    // People who left during the last step, ascending.
    const std::vector<int>& leftLastStep() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace crowd
