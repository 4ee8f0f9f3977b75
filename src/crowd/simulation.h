#pragma once
// The moving part: people under the social force model, advanced by a fixed
// time step with semi-implicit Euler. Each step first computes every
// acceleration from the state at the start of the step and only then moves
// everyone, so the result does not depend on the order in which people are
// visited. Neighbours come from a uniform cell grid (never all pairs).

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "crowd/model.h"
#include "crowd/rng.h"
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

    const World& world() const { return *world_; }
    const CrowdSetup& setup() const { return setup_; }
    double dt() const { return dt_; }
    double time() const { return static_cast<double>(steps_) * dt_; }
    std::uint64_t steps() const { return steps_; }
    std::uint64_t agentUpdates() const { return agentUpdates_; }

    // Threads the force computation runs on (1 or 2). The work is split in
    // the same two parts either way, so the results are bit for bit the same.
    int threads() const { return worker_.joinable() ? 2 : 1; }

    std::size_t peopleCount() const { return body_.size(); }
    std::size_t insideCount() const { return active_.size(); }
    const std::vector<int>& insidePeople() const { return active_; }  // ascending
    bool inside(int i) const { return mind_[i].exitUsed < 0; }
    Vec2 position(int i) const { return {body_[i].x, body_[i].y}; }
    Vec2 velocity(int i) const { return {body_[i].vx, body_[i].vy}; }
    double radius(int i) const { return r_[i]; }
    // The desired speed of the last step, held to what the free distance
    // ahead allows within the headway time.
    double desiredSpeedNow(int i) const { return mind_[i].v0Eff; }
    // The exit chosen at the start (the person's own choice).
    int targetExit(int i) const { return mind_[i].target; }
    // The exit through which the person left, -1 while inside.
    int exitUsed(int i) const { return mind_[i].exitUsed; }
    // Simulated time of leaving; NaN while inside.
    double exitTime(int i) const { return exitTime_[i]; }
    // People who left during the last step, ascending.
    const std::vector<int>& leftLastStep() const { return leftLastStep_; }

  private:
    void buildWallGrid();
    void computeForces();
    enum class Phase { People, Pairs };
    void runInParts(Phase phase);
    void runPart(Phase phase, int h) { phase == Phase::People ? peoplePart(h) : pairsPart(h); }
    void peoplePart(int h);
    void pairsPart(int h);
    void workerLoop();
    void cellOf(double x, double y, int& cx, int& cy) const {
        const double u = std::floor((x - gridOrigin_.x) / csx_);
        const double v = std::floor((y - gridOrigin_.y) / csy_);
        cx = static_cast<int>(std::clamp(u, 0.0, static_cast<double>(ncx_ - 1)));
        cy = static_cast<int>(std::clamp(v, 0.0, static_cast<double>(ncy_ - 1)));
    }

    CrowdSetup setup_;
    std::unique_ptr<World> world_;
    double dt_;
    std::uint64_t steps_ = 0;
    std::uint64_t agentUpdates_ = 0;

    // Per person, by index: what moves, and what each step reads and writes
    // of the person besides, kept together so that visiting people in the
    // order of the grid touches one or two cache lines each.
    struct Body {
        double x = 0.0, y = 0.0, vx = 0.0, vy = 0.0;
    };
    struct Mind {
        double navX = 0.0, navY = 0.0;      // desired direction from the field
        double fluctX = 0.0, fluctY = 0.0;  // fluctuation force, N
        double v0 = 0.0;                    // desired speed
        double v0Now = 0.0;  // desired speed of the current step (followers catch up)
        double v0Eff = 0.0;  // desired speed after the headway, last step
        double togo = 0.0;   // walk left to the exit, m (0 without exits)
        int leader = -1, target = -1, exitUsed = -1;
    };
    std::vector<Body> body_;
    std::vector<Mind> mind_;
    std::vector<double> r_;
    std::vector<double> walkAvg_, wantAvg_, couldWalk_;  // for the nervousness, m/s
    std::uint64_t fluctuationEvery_ = 1;
    std::unique_ptr<Rng> rng_;
    std::vector<double> exitTime_;
    std::vector<int> active_;
    std::vector<int> leftLastStep_;

    // Neighbour grid.
    Vec2 gridOrigin_{};
    double csx_ = 1.0, csy_ = 1.0;
    int ncx_ = 1, ncy_ = 1;
    int reach_ = 1;  // cells searched each way
    std::uint64_t directionEvery_ = 1;
    double periodLength_ = 0.0;  // > 0 in a periodic corridor
    std::vector<int> cellCount_, cellStart_, cellOfActive_;
    // Cell-sorted copies of the state, rebuilt every step.
    std::vector<int> sid_;
    std::vector<double> sx_, sy_, svx_, svy_, sr_, sax_, say_, sex_, sey_, sgo_;
    // exp(x) on a fine grid (linear interpolation, relative error below 1e-5)
    // for the repulsion's exp((r - d) / B), x from -cutoff / B to kExpTableMax.
    std::vector<double> expTable_;
    double expMin_ = 0.0, expInvStep_ = 1.0;
    double expOf(double x) const;

    // Walls, as start point, direction and 1/|direction|^2, and per cell the
    // walls within the cutoff (compressed rows).
    std::vector<double> wax_, way_, wdx_, wdy_, winv_;
    std::vector<int> wallStart_, wallList_;

    // Contacts of the current step (sorted indices s < t; t unused for a
    // wall), with the friction's damper strength and the tangent t.
    struct Contact {
        int s, t;
        double c, tx, ty;
    };
    // Per sorted index: sum of the contacts' c (the walls' share first).
    std::vector<double> frictionSum_;
    // The two fixed parts of the work and what each adds up.
    struct Part {
        std::vector<double> ax, ay, fsum;
        std::vector<double> ahead;  // free distance ahead, m (infinite: nobody in the way)
        std::vector<Contact> contacts, wallContacts;
    };
    Part parts_[2];
    std::size_t personSplit_ = 0;
    int rowSplit_ = 0;
    bool refreshDirections_ = false;

    // The second thread runs part 1 of each phase while this one runs part 0.
    std::thread worker_;
    Phase phase_ = Phase::People;
    std::atomic<std::uint32_t> started_{0}, finished_{0};
    std::atomic<bool> quit_{false}, workerAsleep_{false}, mainAsleep_{false};
};

}  // namespace crowd
