#include "crowd/simulation.h"

#include "crowd/setup_limits.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "crowd/desired_velocity.h"
#include "crowd/fluctuation.h"
#include "crowd/forces.h"
#include "crowd/integrator.h"
#include "crowd/neighbour_grid.h"
#include "crowd/people.h"
#include "crowd/scheduler.h"
#include "crowd/wall_grid.h"

namespace crowd {

namespace {
// Fewer people than this are moved on one thread: the parts of their step
// take about as long as handing a part to another thread (measured: 100
// people as fast on two threads as on one, 200 1.5 times faster).
constexpr std::size_t kShareFrom = 100;
}  // namespace

struct Simulation::State {
    explicit State(const CrowdSetup& s);

    void checkAndPlace();
    void computeAccelerations();
    void move();
    void recordLeavers();

    CrowdSetup setup;
    World world;
    double dt;
    std::uint64_t steps = 0;
    std::uint64_t agentUpdates = 0;

    // Per person, by index into setup.people.
    std::vector<Body> bodies;
    std::vector<Intent> intents;
    std::vector<double> radii;
    std::vector<double> exitTimes;  // NaN while inside
    std::vector<int> inside;        // ascending
    std::vector<int> leftLastStep;  // ascending
    std::vector<int> exitReached;   // the exit passed in this step's move, -1: none
    std::vector<int> cellNow;       // the neighbour grid's cell of where one stands
    bool someoneReachedAnExit[Forces::kParts] = {};  // per part of this step's move

    NeighbourGrid grid;
    WallGrid walls;
    std::uint64_t directionEverySteps = 1;
    Fluctuations fluctuations;
    Forces forces;
    PartScheduler scheduler;
    // Everyone inside in cell order, and the order itself, rebuilt each step.
    CellOrderedCrowd crowd;
    std::vector<int> cellOrder;
};

namespace {

// The setup, once it is known to be within the bounds that keep memory, time
// and arithmetic finite (checked before any grid or table is sized by it).
const CrowdSetup& withinBounds(const CrowdSetup& s) {
    if (auto problem = paramsProblem(s.params))
        throw std::invalid_argument(problem->member + ": " + problem->message);
    if (s.people.size() > kMaxPeople)
        throw std::invalid_argument("more than " + std::to_string(kMaxPeople) + " people");
    if (auto problem = extentProblem(s))
        throw std::invalid_argument(problem->member + ": " + problem->message);
    return s;
}

}  // namespace

Simulation::State::State(const CrowdSetup& s)
    : setup(withinBounds(s)),
      world(setup),
      dt(setup.params.dt),
      grid(world.box(), setup.params.cutoff, world.periodic()),
      walls(world.walls(), grid, setup.params.cutoff),
      fluctuations(setup.params, setup.seed, setup.people.size()),
      forces(setup.params),
      scheduler(setup.threads) {
    checkAndPlace();
    // What a step needs, allocated once: a step allocates nothing.
    const std::size_t n = setup.people.size();
    leftLastStep.reserve(n);
    exitReached.assign(n, -1);
    cellNow.resize(n);
    for (std::size_t i = 0; i < n; ++i) cellNow[i] = grid.cellIndex(bodies[i].x, bodies[i].y);
    cellOrder.reserve(n);
    grid.reserve(n);
    crowd.resize(n);
    forces.reserve(n);
    const ModelParams& mp = setup.params;
    directionEverySteps = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::floor(mp.directionInterval / dt + 1e-9)));
}

// Checks every person and sets them up where the setup says, walking to
// their own exit or else to the one with the shortest walk.
void Simulation::State::checkAndPlace() {
    const std::size_t n = setup.people.size();  // at most kMaxPeople (withinBounds)
    bodies.assign(n, Body{});
    intents.assign(n, Intent{});
    radii.resize(n);
    exitTimes.assign(n, std::numeric_limits<double>::quiet_NaN());
    const int exits = static_cast<int>(world.exits().size());
    for (std::size_t i = 0; i < n; ++i) {
        const PersonSpec& p = setup.people[i];
        const std::string who = "person " + std::to_string(i);
        if (!std::isfinite(p.start.x) || !std::isfinite(p.start.y))
            throw std::invalid_argument(who + " has no finite start position");
        if (!(p.radius > 0.0 && p.radius < 2.0))
            throw std::invalid_argument(who + " has a radius outside (0, 2) m");
        if (!(p.desiredSpeed >= 0.0 && p.desiredSpeed <= 12.0))
            throw std::invalid_argument(who + " has a desired speed outside [0, 12] m/s");
        if (p.exit < -1 || p.exit >= exits)
            throw std::invalid_argument(who + " names an exit that does not exist");
        if (p.leader < -1 || p.leader >= static_cast<int>(n) || p.leader == static_cast<int>(i))
            throw std::invalid_argument(who + " follows someone who does not exist");
        Body& body = bodies[i];
        Intent& intent = intents[i];
        body.x = p.start.x;
        body.y = p.start.y;
        radii[i] = p.radius;
        intent.desiredSpeed = p.desiredSpeed;
        intent.startsAt = p.preMovement;
        intent.leader = p.leader;
        if (world.periodic()) {
            const Box b = world.area().bounds();
            const double len = b.max.x - b.min.x;
            body.x = b.min.x + std::fmod(std::fmod(body.x - b.min.x, len) + len, len);
        }
        if (p.exit >= 0 || exits == 0) {
            intent.target = p.exit;
        } else {
            // The exit with the shortest walk; straight-line distance when
            // no exit can be reached along the grid. Ties go to the first.
            double best = std::numeric_limits<double>::infinity();
            for (int e = 0; e < exits; ++e) {
                const double d = world.walkDistance(e, p.start);
                if (d < best) {
                    best = d;
                    intent.target = e;
                }
            }
            if (intent.target < 0) {
                for (int e = 0; e < exits; ++e) {
                    const double d = distanceToSegment(world.exits()[e].opening, p.start);
                    if (d < best) {
                        best = d;
                        intent.target = e;
                    }
                }
            }
        }
        inside.push_back(static_cast<int>(i));
    }
    for (std::size_t i = 0; i < n; ++i)
        if (intents[i].leader >= 0)
            intents[static_cast<std::size_t>(intents[i].leader)].follower = static_cast<int>(i);
}

void Simulation::State::computeAccelerations() {
    grid.sort(inside, cellNow, cellOrder);

    // The work in two fixed parts, whatever the number of threads: people
    // by their sorted index, pairs by the row of the first cell (the rows
    // before the one where half the people are reached).
    const std::size_t n = cellOrder.size();
    crowd.resize(n);
    const std::size_t personSplit = n / 2;
    const int rowSplit = grid.firstRowFrom(n / 2);
    const bool refreshDirections = steps % directionEverySteps == 0;
    forces.begin(n);
    const bool share = n >= kShareFrom;
    auto people = [&](int part) {
        const std::size_t from = part == 0 ? 0 : personSplit, to = part == 0 ? personSplit : n;
        crowd.gather(cellOrder, bodies, radii, from, to);
        fluctuations.update(steps, cellOrder, from, to, bodies, intents);
        setDesiredVelocities(world, refreshDirections, static_cast<double>(steps) * dt, bodies,
                             radii, intents, crowd, from, to);
        forces.addWalls(part, crowd, grid, walls, from, to);
    };
    scheduler.run(Forces::kParts, people, share);
    auto pairs = [&](int part) {
        forces.addPairs(part, crowd, grid, part == 0 ? 0 : rowSplit,
                        part == 0 ? rowSplit : grid.rows());
    };
    scheduler.run(Forces::kParts, pairs, share);
    forces.addFriction(crowd);
}

// Everyone one step on, in the same parts as the forces: the driving term,
// the step, and whether they have passed an exit.
void Simulation::State::move() {
    const std::size_t n = crowd.size();
    const bool exits = !world.exits().empty();
    auto part = [&](int h) {
        const std::size_t from = h == 0 ? 0 : n / 2, to = h == 0 ? n / 2 : n;
        forces.drive(crowd, from, to);
        advance(crowd, grid, dt, setup.params.speedCapFactor, bodies, from, to);
        bool reached = false;
        for (std::size_t s = from; s < to; ++s) {
            const int i = crowd.person[s];
            intents[i].heldSpeed = crowd.heldSpeed[s];
            const Vec2 steer = forces.steering(s);
            intents[i].steerX = steer.x;
            intents[i].steerY = steer.y;
            cellNow[i] = grid.cellIndex(bodies[i].x, bodies[i].y);
            if (exits) {
                exitReached[i] = world.leavingExit({bodies[i].x, bodies[i].y});
                reached = reached || exitReached[i] >= 0;
            }
        }
        someoneReachedAnExit[h] = reached;
    };
    scheduler.run(Forces::kParts, part, n >= kShareFrom);
}

// Whoever has passed an exit leaves, with the time of this step; a parent or
// child close to the other when it passes goes out with it (kFamilyAtExit).
void Simulation::State::recordLeavers() {
    if (!someoneReachedAnExit[0] && !someoneReachedAnExit[1]) return;
    const double now = static_cast<double>(steps) * dt;
    auto leave = [&](int i, int e) {
        intents[i].exitUsed = e;
        exitTimes[i] = now;
        bodies[i].vx = bodies[i].vy = 0.0;
        leftLastStep.push_back(i);
    };
    for (const int i : inside) {
        if (intents[i].exitUsed >= 0) continue;  // went out with its family this step
        const int e = exitReached[i];
        if (e < 0) continue;
        leave(i, e);
        const int partner = intents[i].leader >= 0 ? intents[i].leader : intents[i].follower;
        if (partner >= 0 && intents[partner].exitUsed < 0 &&
            distance({bodies[i].x, bodies[i].y}, {bodies[partner].x, bodies[partner].y}) <=
                kFamilyAtExit)
            leave(partner, e);
    }
    std::size_t keep = 0;
    for (const int i : inside)
        if (intents[i].exitUsed < 0) inside[keep++] = i;
    inside.resize(keep);
    // leftLastStep ascending, as promised, also when a family went out together.
    std::sort(leftLastStep.begin(), leftLastStep.end());
}

Simulation::Simulation(const CrowdSetup& setup) : state_(std::make_unique<State>(setup)) {}

Simulation::~Simulation() = default;

void Simulation::step() {
    State& st = *state_;
    st.leftLastStep.clear();
    if (!st.inside.empty()) {
        st.computeAccelerations();
        st.move();
        st.agentUpdates += st.crowd.size();
    }
    ++st.steps;
    if (!st.world.exits().empty()) st.recordLeavers();
}

const World& Simulation::world() const { return state_->world; }
const CrowdSetup& Simulation::setup() const { return state_->setup; }
double Simulation::dt() const { return state_->dt; }
double Simulation::time() const { return static_cast<double>(state_->steps) * state_->dt; }
std::uint64_t Simulation::steps() const { return state_->steps; }
std::uint64_t Simulation::agentUpdates() const { return state_->agentUpdates; }
int Simulation::threads() const { return state_->scheduler.threads(); }
std::size_t Simulation::peopleCount() const { return state_->bodies.size(); }
std::size_t Simulation::insideCount() const { return state_->inside.size(); }
const std::vector<int>& Simulation::insidePeople() const { return state_->inside; }
bool Simulation::inside(int i) const { return state_->intents[i].exitUsed < 0; }
Vec2 Simulation::position(int i) const { return {state_->bodies[i].x, state_->bodies[i].y}; }
Vec2 Simulation::velocity(int i) const { return {state_->bodies[i].vx, state_->bodies[i].vy}; }
double Simulation::radius(int i) const { return state_->radii[i]; }
double Simulation::desiredSpeedNow(int i) const { return state_->intents[i].heldSpeed; }
int Simulation::targetExit(int i) const { return state_->intents[i].target; }
int Simulation::exitUsed(int i) const { return state_->intents[i].exitUsed; }
double Simulation::exitTime(int i) const { return state_->exitTimes[i]; }
const std::vector<int>& Simulation::leftLastStep() const { return state_->leftLastStep; }

}  // namespace crowd
