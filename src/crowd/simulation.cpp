#include "crowd/simulation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace crowd {

const char* roleName(Role role) {
    switch (role) {
        case Role::Person:
            return "person";
        case Role::Child:
            return "child";
        case Role::Parent:
            return "parent";
        case Role::Adult:
            return "adult";
        case Role::JoggingChild:
            return "jogging child";
    }
    return "person";
}

namespace {
// A follower drifts toward its leader once farther than this, fully at +2 m.
constexpr double kFollowNear = 1.0;
constexpr double kFollowSpan = 2.0;
constexpr double kFollowCatchUp = 0.3;  // extra desired speed when far behind
constexpr double kMinSpeedCap = 0.5;    // even someone standing can be pushed this fast
constexpr double kNervousTime = 1.0;    // s, over which nervousness is judged
constexpr double kCalmWant = 0.05;      // m/s: wanting less than this, one is calm
constexpr double kExpTableMax = 12.0;   // beyond: overlap of 0.96 m at B = 0.08, computed exactly
}  // namespace

Simulation::Simulation(const CrowdSetup& setup) : setup_(setup), dt_(setup.params.dt) {
    world_ = std::make_unique<World>(setup_);
    const std::size_t n = setup_.people.size();
    if (n > 5'000'000) throw std::invalid_argument("too many people");
    body_.assign(n, Body{});
    mind_.assign(n, Mind{});
    r_.resize(n);
    walkAvg_.assign(n, 0.0);
    wantAvg_.assign(n, 0.0);
    couldWalk_.assign(n, 0.0);
    rng_ = std::make_unique<Rng>(setup_.seed);
    exitTime_.assign(n, std::numeric_limits<double>::quiet_NaN());
    const int exits = static_cast<int>(world_->exits().size());
    for (std::size_t i = 0; i < n; ++i) {
        const PersonSpec& p = setup_.people[i];
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
        body_[i].x = p.start.x;
        body_[i].y = p.start.y;
        r_[i] = p.radius;
        mind_[i].v0 = p.desiredSpeed;
        mind_[i].leader = p.leader;
        if (world_->periodic()) {
            const Box b = world_->area().bounds();
            const double len = b.max.x - b.min.x;
            body_[i].x = b.min.x + std::fmod(std::fmod(body_[i].x - b.min.x, len) + len, len);
        }
        if (p.exit >= 0 || exits == 0) {
            mind_[i].target = p.exit;
        } else {
            // The exit with the shortest walk; straight-line distance when
            // no exit can be reached along the grid. Ties go to the first.
            double best = std::numeric_limits<double>::infinity();
            for (int e = 0; e < exits; ++e) {
                const double d = world_->walkDistance(e, p.start);
                if (d < best) {
                    best = d;
                    mind_[i].target = e;
                }
            }
            if (mind_[i].target < 0) {
                for (int e = 0; e < exits; ++e) {
                    const double d = distanceToSegment(world_->exits()[e].opening, p.start);
                    if (d < best) {
                        best = d;
                        mind_[i].target = e;
                    }
                }
            }
        }
        active_.push_back(static_cast<int>(i));
    }

    // Neighbour grid: cells of the cutoff, searched one cell each way (cells
    // of half the cutoff searched two each way test fewer pairs, but setting
    // up twelve cell ranges per occupied cell cost more than that saves).
    const ModelParams& mp = setup_.params;
    const Box box = world_->box();
    gridOrigin_ = box.min;
    const double cs = mp.cutoff / reach_;
    const double w = box.max.x - box.min.x, h = box.max.y - box.min.y;
    if (world_->periodic()) {
        periodLength_ = w;
        ncx_ = std::max(2 * reach_ + 1, static_cast<int>(std::floor(w / cs)));
        csx_ = w / ncx_;
    } else {
        ncx_ = std::max(1, static_cast<int>(std::ceil(w / cs)));
        csx_ = cs;
    }
    ncy_ = std::max(1, static_cast<int>(std::ceil(h / cs)));
    csy_ = cs;
    if (static_cast<double>(ncx_) * ncy_ > 5.0e7)
        throw std::invalid_argument("the area is too large for the cutoff");
    cellCount_.assign(static_cast<std::size_t>(ncx_) * ncy_, 0);
    cellStart_.assign(cellCount_.size() + 1, 0);
    buildWallGrid();

    if (!(mp.fluctuation >= 0.0 && mp.fluctuation <= 1e4))
        throw std::invalid_argument("the fluctuation must be in [0, 1e4] N");
    if (!(mp.nervousFluctuation >= 0.0 && mp.nervousFluctuation <= 1e4))
        throw std::invalid_argument("the nervous fluctuation must be in [0, 1e4] N");

    fluctuationEvery_ = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::floor(mp.fluctuationInterval / dt_ + 1e-9)));
    directionEvery_ = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::floor(mp.directionInterval / dt_ + 1e-9)));
    expMin_ = -mp.cutoff / mp.B - 1.0;
    const double step = 1.0 / 256.0;
    expInvStep_ = 1.0 / step;
    const auto entries =
        static_cast<std::size_t>(std::ceil((kExpTableMax - expMin_) * expInvStep_)) + 2;
    expTable_.resize(entries);
    for (std::size_t k = 0; k < entries; ++k)
        expTable_[k] = std::exp(expMin_ + static_cast<double>(k) * step);
    if (!(mp.lambda >= 0.0 && mp.lambda <= 1.0))
        throw std::invalid_argument("lambda must be in [0, 1]");
    if (!(mp.headwayTime >= 0.0 && mp.headwayTime <= 10.0))
        throw std::invalid_argument("the headway time must be in [0, 10] s");

    int threads = setup_.threads;
    if (threads < 0 || threads > 64) throw std::invalid_argument("threads must be in [0, 64]");
    // Handing the parts over costs some microseconds a step, and far more
    // when another program holds the second core: on a shared 2-core machine
    // two threads ran 10,000 people 25 % faster when it was idle, but every
    // size slower than one thread when it was busy. So one, unless asked.
    if (threads == 0) threads = 1;
    if (threads >= 2) worker_ = std::thread([this] { workerLoop(); });
}

Simulation::~Simulation() {
    if (worker_.joinable()) {
        quit_.store(true, std::memory_order_relaxed);
        started_.fetch_add(1);
        started_.notify_one();
        worker_.join();
    }
}

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

void Simulation::runInParts(Phase phase) {
    if (!worker_.joinable()) {
        runPart(phase, 0);
        runPart(phase, 1);
        return;
    }
    phase_ = phase;
    const std::uint32_t round = started_.load(std::memory_order_relaxed) + 1;
    publish(started_, round, workerAsleep_);
    runPart(phase, 0);
    std::uint32_t f = finished_.load(std::memory_order_acquire);
    while (f != round) f = awaitChange(finished_, f, mainAsleep_);
}

void Simulation::workerLoop() {
    std::uint32_t seen = 0;
    for (;;) {
        seen = awaitChange(started_, seen, workerAsleep_);
        if (quit_.load(std::memory_order_relaxed)) return;
        runPart(phase_, 1);
        publish(finished_, seen, mainAsleep_);
    }
}

double Simulation::expOf(double x) const {
    if (x >= kExpTableMax) return std::exp(x);
    if (x <= expMin_) return 0.0;
    const double u = (x - expMin_) * expInvStep_;
    const auto k = static_cast<std::size_t>(u);
    const double f = u - static_cast<double>(k);
    return expTable_[k] + f * (expTable_[k + 1] - expTable_[k]);
}

void Simulation::buildWallGrid() {
    const auto& walls = world_->walls();
    const double cut = setup_.params.cutoff;
    for (const Segment& s : walls) {
        wax_.push_back(s.a.x);
        way_.push_back(s.a.y);
        const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
        wdx_.push_back(dx);
        wdy_.push_back(dy);
        const double l2 = dx * dx + dy * dy;
        winv_.push_back(l2 > 0.0 ? 1.0 / l2 : 0.0);
    }
    const std::size_t cells = static_cast<std::size_t>(ncx_) * ncy_;
    std::vector<std::vector<int>> perCell(cells);
    for (std::size_t k = 0; k < walls.size(); ++k) {
        const Segment& s = walls[k];
        int i0, j0, i1, j1;
        cellOf(std::min(s.a.x, s.b.x) - cut, std::min(s.a.y, s.b.y) - cut, i0, j0);
        cellOf(std::max(s.a.x, s.b.x) + cut, std::max(s.a.y, s.b.y) + cut, i1, j1);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                // Keep the wall only if it comes within the cutoff of the cell.
                const double cx = gridOrigin_.x + (i + 0.5) * csx_,
                             cy = gridOrigin_.y + (j + 0.5) * csy_;
                const double halfDiag = 0.5 * std::sqrt(csx_ * csx_ + csy_ * csy_);
                if (distanceToSegment(s, {cx, cy}) > cut + halfDiag) continue;
                perCell[static_cast<std::size_t>(j) * ncx_ + i].push_back(static_cast<int>(k));
            }
    }
    wallStart_.assign(cells + 1, 0);
    for (std::size_t c = 0; c < cells; ++c)
        wallStart_[c + 1] = wallStart_[c] + static_cast<int>(perCell[c].size());
    wallList_.reserve(wallStart_.back());
    for (const auto& list : perCell) wallList_.insert(wallList_.end(), list.begin(), list.end());
}

void Simulation::step() {
    leftLastStep_.clear();
    const std::size_t n = active_.size();
    if (n > 0) {
        computeForces();
        const double dt = dt_;
        const double cap = setup_.params.speedCapFactor;
        for (std::size_t s = 0; s < n; ++s) {
            const int i = sid_[s];
            double vx = body_[i].vx + sax_[s] * dt;
            double vy = body_[i].vy + say_[s] * dt;
            const double vmax = cap * std::max(mind_[i].v0Now, kMinSpeedCap);
            const double sp2 = vx * vx + vy * vy;
            if (sp2 > vmax * vmax) {
                const double f = vmax / std::sqrt(sp2);
                vx *= f;
                vy *= f;
            }
            body_[i].vx = vx;
            body_[i].vy = vy;
            body_[i].x += vx * dt;
            body_[i].y += vy * dt;
            if (periodLength_ > 0.0) {
                if (body_[i].x >= gridOrigin_.x + periodLength_)
                    body_[i].x -= periodLength_;
                else if (body_[i].x < gridOrigin_.x)
                    body_[i].x += periodLength_;
            }
        }
        agentUpdates_ += n;
    }
    ++steps_;
    if (world_->exits().empty()) return;
    const double now = time();
    std::size_t keep = 0;
    for (std::size_t a = 0; a < active_.size(); ++a) {
        const int i = active_[a];
        const int e = world_->leavingExit({body_[i].x, body_[i].y});
        if (e >= 0) {
            mind_[i].exitUsed = e;
            exitTime_[i] = now;
            body_[i].vx = body_[i].vy = 0.0;
            leftLastStep_.push_back(i);
        } else {
            active_[keep++] = i;
        }
    }
    active_.resize(keep);
}

void Simulation::computeForces() {
    const ModelParams& mp = setup_.params;
    const std::size_t n = active_.size();
    const std::size_t cells = cellCount_.size();

    // Counting sort of everyone inside by cell.
    cellOfActive_.resize(n);
    std::fill(cellCount_.begin(), cellCount_.end(), 0);
    for (std::size_t a = 0; a < n; ++a) {
        const int i = active_[a];
        int cx, cy;
        cellOf(body_[i].x, body_[i].y, cx, cy);
        const int c = cy * ncx_ + cx;
        cellOfActive_[a] = c;
        ++cellCount_[c];
    }
    cellStart_[0] = 0;
    for (std::size_t c = 0; c < cells; ++c) cellStart_[c + 1] = cellStart_[c] + cellCount_[c];
    sid_.resize(n);
    sx_.resize(n);
    sy_.resize(n);
    svx_.resize(n);
    svy_.resize(n);
    sr_.resize(n);
    sax_.resize(n);
    say_.resize(n);
    sex_.resize(n);
    sey_.resize(n);
    sgo_.resize(n);
    std::copy(cellStart_.begin(), cellStart_.end() - 1,
              cellCount_.begin());  // reuse as write cursor
    for (std::size_t a = 0; a < n; ++a) {
        const int i = active_[a];
        const int s = cellCount_[cellOfActive_[a]]++;
        sid_[s] = i;
        sx_[s] = body_[i].x;
        sy_[s] = body_[i].y;
        svx_[s] = body_[i].vx;
        svy_[s] = body_[i].vy;
        sr_[s] = r_[i];
    }

    if ((mp.fluctuation > 0.0 || mp.nervousFluctuation > 0.0) && steps_ % fluctuationEvery_ == 0) {
        // Nervousness (Helbing, Farkas and Vicsek, "Freezing by heating",
        // 2000): n = 1 - (mean speed made toward one's goal) / (mean speed
        // one wants), means over about a second, and the fluctuation grows
        // from its normal strength to the nervous one with n. Someone who
        // waits in a queue wants little (the free distance ahead is short)
        // and is calm; someone wedged in an arch across a door, with the
        // way ahead free and no progress, grows nervous and struggles.
        // The speed one could be making is the desired speed (after the
        // headway) seen through the relaxation time: someone starting to
        // walk is not nervous for being slow at first.
        const double alpha = std::min(1.0, mp.fluctuationInterval / kNervousTime);
        const double relax = 1.0 - std::exp(-mp.fluctuationInterval / mp.tau);
        // Drawn in ascending order of the people inside: the same sequence
        // whatever the arrangement.
        const double twoPi = 2.0 * std::acos(-1.0);
        for (int i : active_) {
            const double walk =
                std::max(0.0, body_[i].vx * mind_[i].navX + body_[i].vy * mind_[i].navY);
            walkAvg_[i] += alpha * (walk - walkAvg_[i]);
            couldWalk_[i] += relax * (mind_[i].v0Eff - couldWalk_[i]);
            wantAvg_[i] += alpha * (couldWalk_[i] - wantAvg_[i]);
            const double nervous = wantAvg_[i] > kCalmWant
                                       ? std::clamp(1.0 - walkAvg_[i] / wantAvg_[i], 0.0, 1.0)
                                       : 0.0;
            const double strength =
                (1.0 - nervous) * mp.fluctuation + nervous * mp.nervousFluctuation;
            const double a = twoPi * rng_->uniform01();
            const double m = strength * std::sqrt(rng_->uniform01());
            mind_[i].fluctX = m * std::cos(a);
            mind_[i].fluctY = m * std::sin(a);
        }
    }

    // Split the work in two fixed parts, whatever the number of threads:
    // people by their cell-sorted index, pairs by the row of the first cell
    // (the rows before the one where half the people are reached).
    personSplit_ = n / 2;
    rowSplit_ = ncy_;
    for (int r = 0; r < ncy_; ++r)
        if (static_cast<std::size_t>(cellStart_[static_cast<std::size_t>(r) * ncx_]) >= n / 2) {
            rowSplit_ = r;
            break;
        }
    refreshDirections_ = steps_ % directionEvery_ == 0;
    frictionSum_.assign(n, 0.0);
    runInParts(Phase::People);
    runInParts(Phase::Pairs);

    // The sliding friction acts as a damper of strength kappa * overlap on the
    // relative tangential velocity of two bodies. An explicit step damps
    // stably only while, for every body, the sum of the damper strengths of
    // all its contacts stays below m / dt (Gershgorin's bound on the damping
    // matrix; one contact alone allows 2 (m / 2) / dt, but a body squeezed
    // between four others gets a quarter of that). Every contact's strength
    // is therefore scaled down so that both of its bodies stay at or below
    // half the bound, m / (2 dt): a squeezed body's tangential velocity
    // relative to its neighbours is then at most damped out in one step,
    // never flipped. A per-contact cap is not enough: in a crush bodies with
    // several deep contacts start to vibrate at the speed cap and block a
    // door for good. Contacts are collected first and their friction applied
    // once every body's sum is known.
    // Combine, in a fixed order: each body's friction sum, then the
    // friction of the contacts as the two parts found them, then the sums.
    const double frictionBudget = 0.5 * mp.mass / dt_;
    double* const ax = sax_.data();
    double* const ay = say_.data();
    const double* const VX = svx_.data();
    const double* const VY = svy_.data();
    double* const fsum = frictionSum_.data();
    const Part& p0 = parts_[0];
    const Part& p1 = parts_[1];
    for (std::size_t q = 0; q < n; ++q) fsum[q] = fsum[q] + p0.fsum[q] + p1.fsum[q];
    for (const Part& part : parts_) {
        for (const Contact& q : part.wallContacts) {
            const double c = q.c * std::min(1.0, frictionBudget / fsum[q.s]);
            const double ft = c * (VX[q.s] * q.tx + VY[q.s] * q.ty);
            ax[q.s] -= ft * q.tx;
            ay[q.s] -= ft * q.ty;
        }
    }
    for (const Part& part : parts_) {
        for (const Contact& q : part.contacts) {
            const double c = q.c * std::min(1.0, frictionBudget / std::max(fsum[q.s], fsum[q.t]));
            const double ft = c * ((VX[q.t] - VX[q.s]) * q.tx + (VY[q.t] - VY[q.s]) * q.ty);
            ax[q.s] += ft * q.tx;
            ay[q.s] += ft * q.ty;
            ax[q.t] -= ft * q.tx;
            ay[q.t] -= ft * q.ty;
        }
    }
    // The driving term, toward the desired velocity: the desired speed held
    // down to what the free distance ahead allows within the headway time.
    const double invMass = 1.0 / mp.mass;
    const double invTau = 1.0 / mp.tau;
    const double invHeadway = mp.headwayTime > 0.0 ? 1.0 / mp.headwayTime : 0.0;
    for (std::size_t q = 0; q < n; ++q) {
        double v0 = mind_[sid_[q]].v0Now;
        if (invHeadway > 0.0)
            v0 = std::min(v0, std::max(0.0, std::min(p0.ahead[q], p1.ahead[q]) * invHeadway));
        mind_[sid_[q]].v0Eff = v0;
        const double dx = (v0 * sex_[q] - VX[q]) * invTau, dy = (v0 * sey_[q] - VY[q]) * invTau;
        ax[q] = (ax[q] + p0.ax[q] + p1.ax[q]) * invMass + dx;
        ay[q] = (ay[q] + p0.ay[q] + p1.ay[q]) * invMass + dy;
    }
}

// Part h of the people (by cell-sorted index): driving term and walls, as
// forces; the wall contacts go to the part's list.
void Simulation::peoplePart(int h) {
    const ModelParams& mp = setup_.params;
    const std::size_t n = sid_.size();
    const std::size_t from = h == 0 ? 0 : personSplit_, to = h == 0 ? personSplit_ : n;
    const double A = mp.A, invB = 1.0 / mp.B, k = mp.k, kappa = mp.kappa;
    const double cut2 = mp.cutoff * mp.cutoff;
    const double L = periodLength_;
    const bool periodic = L > 0.0;
    const World& world = *world_;
    const bool refreshDirections = refreshDirections_;
    Part& part = parts_[h];
    part.wallContacts.clear();
    double* const fsum = frictionSum_.data();
    // Per person: driving term and walls (forces, divided by the mass at the end).
    for (std::size_t s = from; s < to; ++s) {
        const int i = sid_[s];
        const double xi = sx_[s], yi = sy_[s], ri = sr_[s];

        // Toward the exit (or along the leader) at the desired speed.
        const int lead = mind_[i].leader;
        const bool following = lead >= 0 && mind_[lead].exitUsed < 0;
        if (refreshDirections) {
            const int goal = following ? mind_[lead].target : mind_[i].target;
            const Vec2 e = world.desiredDirection(goal, {xi, yi});
            mind_[i].navX = e.x;
            mind_[i].navY = e.y;
            if (goal >= 0 && !periodic) {
                const double togo = world.roughWalkDistance(goal, {xi, yi});
                mind_[i].togo = std::isfinite(togo) ? togo : 0.0;
            }
        }
        sgo_[s] = mind_[i].togo;
        double v0 = mind_[i].v0;
        double ex = mind_[i].navX, ey = mind_[i].navY;
        if (following) {
            double dx = body_[lead].x - xi;
            const double dy = body_[lead].y - yi;
            if (periodic) dx -= L * std::round(dx / L);
            const double d = std::sqrt(dx * dx + dy * dy);
            const double w = std::clamp((d - kFollowNear) / kFollowSpan, 0.0, 1.0);
            if (w > 0.0) {
                const double bx = (1.0 - w) * ex + w * dx / d, by = (1.0 - w) * ey + w * dy / d;
                const double bl = std::sqrt(bx * bx + by * by);
                if (bl > 1e-12) {
                    ex = bx / bl;
                    ey = by / bl;
                }
                v0 *= 1.0 + kFollowCatchUp * w;
            }
        }
        mind_[i].v0Now = v0;  // for the speed cap of this step
        sex_[s] = ex;
        sey_[s] = ey;
        // The driving term follows once the free distance ahead is known.
        double fx = mind_[i].fluctX;
        double fy = mind_[i].fluctY;

        int cx, cy;
        cellOf(xi, yi, cx, cy);
        const int c = cy * ncx_ + cx;
        for (int q = wallStart_[c], end = wallStart_[c + 1]; q < end; ++q) {
            const int w = wallList_[q];
            const double rx = xi - wax_[w], ry = yi - way_[w];
            const double t = std::clamp((rx * wdx_[w] + ry * wdy_[w]) * winv_[w], 0.0, 1.0);
            const double dx = rx - t * wdx_[w], dy = ry - t * wdy_[w];
            const double d2 = dx * dx + dy * dy;
            if (d2 >= cut2 || d2 < 1e-18) continue;
            const double d = std::sqrt(d2);
            const double inv = 1.0 / d;
            const double nx = dx * inv, ny = dy * inv;
            const double overlap = ri - d;
            double f = A * expOf(overlap * invB);
            if (overlap > 0.0) {
                f += k * overlap;
                const double cq = kappa * overlap;
                fsum[s] += cq;
                part.wallContacts.push_back({static_cast<int>(s), 0, cq, -ny, nx});
            }
            fx += f * nx;
            fy += f * ny;
        }
        sax_[s] = fx;
        say_[s] = fy;
    }
}

// Part h of the pairs: those whose first cell lies in the part's rows. Each
// part adds into its own arrays, so the parts can run at the same time.
void Simulation::pairsPart(int h) {
    const ModelParams& mp = setup_.params;
    const std::size_t n = sid_.size();
    const double A = mp.A, invB = 1.0 / mp.B, k = mp.k, kappa = mp.kappa;
    const double cut2 = mp.cutoff * mp.cutoff;
    const double L = periodLength_, halfL = 0.5 * L;
    const bool periodic = L > 0.0;
    const int R = reach_;
    Part& part = parts_[h];
    part.ax.assign(n, 0.0);
    part.ay.assign(n, 0.0);
    part.fsum.assign(n, 0.0);
    part.ahead.assign(n, std::numeric_limits<double>::infinity());
    part.contacts.clear();
    const bool headway = mp.headwayTime > 0.0;
    double* const ahead = part.ahead.data();
    const int rowBegin = h == 0 ? 0 : rowSplit_, rowEnd = h == 0 ? rowSplit_ : ncy_;
    // Pairs, each once: within a cell, and with the cells of the forward
    // half of the neighbourhood. The pair's forces are equal and opposite.
    double* const ax = part.ax.data();
    double* const ay = part.ay.data();
    const double* const X = sx_.data();
    const double* const Y = sy_.data();
    const double* const RR = sr_.data();
    const double* const EX = sex_.data();
    const double* const EY = sey_.data();
    const double* const GO = sgo_.data();
    double* const fsum = part.fsum.data();
    const double lam = mp.lambda, halfRest = 0.5 * (1.0 - mp.lambda);
    const bool isotropic = mp.lambda == 1.0;
    int ranges[2 * 32];
    for (int cy = rowBegin; cy < rowEnd; ++cy)
        for (int cx = 0; cx < ncx_; ++cx) {
            const int c = cy * ncx_ + cx;
            const int begin = cellStart_[c], end = cellStart_[c + 1];
            if (begin == end) continue;
            // The cells to pair with, as index ranges of the sorted arrays.
            int nr = 0;
            for (int dy = 0; dy <= R; ++dy) {
                const int gy = cy + dy;
                if (gy >= ncy_) break;
                for (int dx = (dy == 0 ? 1 : -R); dx <= R; ++dx) {
                    int gx = cx + dx;
                    if (periodic) {
                        if (gx < 0)
                            gx += ncx_;
                        else if (gx >= ncx_)
                            gx -= ncx_;
                    } else if (gx < 0 || gx >= ncx_) {
                        continue;
                    }
                    const int o = gy * ncx_ + gx;
                    if (cellStart_[o] == cellStart_[o + 1]) continue;
                    ranges[2 * nr] = cellStart_[o];
                    ranges[2 * nr + 1] = cellStart_[o + 1];
                    ++nr;
                }
            }
            for (int s = begin; s < end; ++s) {
                const double xs = X[s], ys = Y[s], rs = RR[s], exs = EX[s], eys = EY[s];
                const double gos = GO[s];
                double fxs = 0.0, fys = 0.0;
                double aheadS = ahead[s];
                auto with = [&](int t) {
                    double dx = xs - X[t];
                    const double dy = ys - Y[t];
                    if (periodic) {
                        if (dx > halfL)
                            dx -= L;
                        else if (dx < -halfL)
                            dx += L;
                    }
                    const double d2 = dx * dx + dy * dy;
                    if (d2 >= cut2) return;
                    double d = std::sqrt(d2);
                    double nx, ny;
                    if (d > 1e-9) {
                        const double inv = 1.0 / d;
                        nx = dx * inv;
                        ny = dy * inv;
                    } else {  // on top of each other: part along x
                        d = 0.0;
                        nx = 1.0;
                        ny = 0.0;
                    }
                    const double rsum = rs + RR[t];
                    const double overlap = rsum - d;
                    if (headway) {
                        // Is the other one right in the path of either (its
                        // centre within l = half the two radii of the walking
                        // line) and no farther from its exit? Then the free
                        // distance is how far one can walk straight on until
                        // the centres are l apart. Of two whose paths cross,
                        // the one nearer the exit goes first: a zip, not a
                        // standstill.
                        const double l = 0.5 * rsum, l2 = l * l;
                        const double ps = -(dx * exs + dy * eys);  // s looks toward t
                        if (ps > 0.0 && d2 - ps * ps < l2 && GO[t] <= gos)
                            aheadS = std::min(aheadS, ps - std::sqrt(l2 - (d2 - ps * ps)));
                        const double pt = dx * EX[t] + dy * EY[t];  // t looks toward s
                        if (pt > 0.0 && d2 - pt * pt < l2 && gos <= GO[t])
                            ahead[t] = std::min(ahead[t], pt - std::sqrt(l2 - (d2 - pt * pt)));
                    }
                    // The repulsion as each of the two sees it: n points from t to s.
                    const double rep = A * expOf(overlap * invB);
                    double repS = rep, repT = rep;
                    if (!isotropic) {
                        const double cs = exs * nx + eys * ny;      // -cos(phi) for s
                        const double ct = EX[t] * nx + EY[t] * ny;  // cos(phi) for t
                        repS = rep * (lam + halfRest * (1.0 - cs));
                        repT = rep * (lam + halfRest * (1.0 + ct));
                    }
                    double gx = repS * nx, gy = repS * ny;  // on s
                    double hx = repT * nx, hy = repT * ny;  // on t, with the sign reversed below
                    if (overlap > 0.0) {
                        // Body compression, equal and opposite; the sliding
                        // friction follows once all contacts are known.
                        const double bx = k * overlap * nx, by = k * overlap * ny;
                        gx += bx;
                        gy += by;
                        hx += bx;
                        hy += by;
                        const double cq = kappa * overlap;
                        fsum[s] += cq;
                        fsum[t] += cq;
                        part.contacts.push_back({s, t, cq, -ny, nx});
                    }
                    fxs += gx;
                    fys += gy;
                    ax[t] -= hx;
                    ay[t] -= hy;
                };
                for (int t = s + 1; t < end; ++t) with(t);
                for (int r = 0; r < nr; ++r)
                    for (int t = ranges[2 * r], te = ranges[2 * r + 1]; t < te; ++t) with(t);
                ax[s] += fxs;
                ay[s] += fys;
                ahead[s] = aheadS;
            }
        }
}

}  // namespace crowd
