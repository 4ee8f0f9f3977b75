#include "crowd/forces.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "crowd/fast_exp.h"

namespace crowd {

Forces::Forces(const ModelParams& params, Isa isa)
    : params_(params),
      pairKernel_(pairKernel(isa)),
      cutoffSquared_(params.cutoff * params.cutoff),
      frictionBudget_(0.5 * params.mass / params.dt) {
    pairTerms_.A = params.A;
    pairTerms_.invB = 1.0 / params.B;
    pairTerms_.k = params.k;
    pairTerms_.kappa = params.kappa;
    pairTerms_.cutoffSquared = cutoffSquared_;
    pairTerms_.lambda = params.lambda;
    pairTerms_.headway = params.headwayTime > 0.0;
    pairTerms_.headwayWidthSquared = params.headwayWidth * params.headwayWidth;
    pairTerms_.steerStrength = params.steerStrength;
    pairTerms_.invSteerRange = 1.0 / params.steerRange;
}

void Forces::reserve(std::size_t n) {
    frictionSum_.reserve(n);
    for (PairSums& part : parts_) {
        for (auto* v : {&part.fx, &part.fy, &part.frictionSum, &part.ahead, &part.steerX,
                        &part.steerY})
            v->reserve(n);
        // Discs of similar size touch at most six others: three contacts a
        // body. A wall contact or two each, more only where short walls meet.
        part.contacts.reserve(3 * n);
        part.wallContacts.reserve(2 * n);
    }
}

void Forces::begin(std::size_t n) { frictionSum_.assign(n, 0.0); }

Vec2 Forces::steering(std::size_t s) const {
    if (pairTerms_.steerStrength <= 0.0) return {0.0, 0.0};
    Vec2 sum{0.0, 0.0};
    for (const PairSums& part : parts_) {
        sum.x += part.steerX[s];
        sum.y += part.steerY[s];
    }
    return sum;
}

double Forces::freeDistanceAhead(std::size_t s) const {
    double ahead = parts_[0].ahead[s];
    for (int h = 1; h < kParts; ++h) ahead = std::min(ahead, parts_[h].ahead[s]);
    return ahead;
}

void Forces::addWalls(int part, CellOrderedCrowd& crowd, const NeighbourGrid& grid,
                      const WallGrid& walls, std::size_t from, std::size_t to) {
    const double A = params_.A, invB = 1.0 / params_.B, k = params_.k, kappa = params_.kappa;
    const double cut2 = cutoffSquared_;
    PairSums& sums = parts_[part];
    sums.wallContacts.clear();
    double* const fsum = frictionSum_.data();
    const std::vector<int>& near = walls.wallsNear();
    for (std::size_t s = from; s < to; ++s) {
        const double xi = crowd.x[s], yi = crowd.y[s], ri = crowd.radius[s];
        double fx = crowd.ax[s];
        double fy = crowd.ay[s];
        const std::size_t c = static_cast<std::size_t>(grid.cellIndex(xi, yi));
        for (int q = walls.nearBegin(c), end = walls.nearEnd(c); q < end; ++q) {
            const int w = near[q];
            const double rx = xi - walls.startX[w], ry = yi - walls.startY[w];
            const double t = std::clamp(
                (rx * walls.alongX[w] + ry * walls.alongY[w]) * walls.invLengthSquared[w], 0.0, 1.0);
            const double dx = rx - t * walls.alongX[w], dy = ry - t * walls.alongY[w];
            const double d2 = dx * dx + dy * dy;
            if (d2 >= cut2 || d2 < 1e-18) continue;
            const double d = std::sqrt(d2);
            const double inv = 1.0 / d;
            const double nx = dx * inv, ny = dy * inv;
            const double overlap = ri - d;
            double f = A * fastExp(overlap * invB);
            if (overlap > 0.0) {
                f += k * overlap;
                const double strength = kappa * overlap;
                fsum[s] += strength;
                sums.wallContacts.push_back({static_cast<int>(s), 0, strength, -ny, nx});
            }
            fx += f * nx;
            fy += f * ny;
        }
        crowd.ax[s] = fx;
        crowd.ay[s] = fy;
    }
}

void Forces::addPairs(int part, const CellOrderedCrowd& crowd, const NeighbourGrid& grid,
                      int rowBegin, int rowEnd) {
    const std::size_t n = crowd.size();
    PairSums& sums = parts_[part];
    sums.fx.assign(n, 0.0);
    sums.fy.assign(n, 0.0);
    sums.frictionSum.assign(n, 0.0);
    sums.ahead.assign(n, std::numeric_limits<double>::infinity());
    if (pairTerms_.steerStrength > 0.0) {
        sums.steerX.assign(n, 0.0);
        sums.steerY.assign(n, 0.0);
    }
    sums.contacts.clear();
    PairTerms terms = pairTerms_;
    terms.period = grid.period();
    pairKernel_(terms, crowd, grid, rowBegin, rowEnd, sums);
}

void Forces::addFriction(CellOrderedCrowd& crowd) {
    const std::size_t n = crowd.size();
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
    // friction of the contacts as the parts found them, then the sums.
    double* const ax = crowd.ax.data();
    double* const ay = crowd.ay.data();
    const double* const VX = crowd.vx.data();
    const double* const VY = crowd.vy.data();
    double* const fsum = frictionSum_.data();
    bool anyContact = false;
    for (const PairSums& part : parts_)
        anyContact = anyContact || !part.contacts.empty() || !part.wallContacts.empty();
    if (!anyContact) return;  // people apart: nothing slides
    for (std::size_t q = 0; q < n; ++q)
        for (const PairSums& part : parts_) fsum[q] += part.frictionSum[q];
    for (const PairSums& part : parts_) {
        for (const Contact& c : part.wallContacts) {
            const double strength = c.strength * std::min(1.0, frictionBudget_ / fsum[c.s]);
            const double ft = strength * (VX[c.s] * c.tx + VY[c.s] * c.ty);
            ax[c.s] -= ft * c.tx;
            ay[c.s] -= ft * c.ty;
        }
    }
    for (const PairSums& part : parts_) {
        for (const Contact& c : part.contacts) {
            const double strength =
                c.strength * std::min(1.0, frictionBudget_ / std::max(fsum[c.s], fsum[c.t]));
            const double ft =
                strength * ((VX[c.t] - VX[c.s]) * c.tx + (VY[c.t] - VY[c.s]) * c.ty);
            ax[c.s] += ft * c.tx;
            ay[c.s] += ft * c.ty;
            ax[c.t] -= ft * c.tx;
            ay[c.t] -= ft * c.ty;
        }
    }
}

void Forces::drive(CellOrderedCrowd& crowd, std::size_t from, std::size_t to) {
    // The driving term, toward the desired velocity: the desired speed held
    // down to what the free distance ahead allows within the headway time.
    double* const ax = crowd.ax.data();
    double* const ay = crowd.ay.data();
    const double* const VX = crowd.vx.data();
    const double* const VY = crowd.vy.data();
    const double invMass = 1.0 / params_.mass;
    const double invTau = 1.0 / params_.tau;
    const double invHeadway = params_.headwayTime > 0.0 ? 1.0 / params_.headwayTime : 0.0;
    for (std::size_t q = from; q < to; ++q) {
        double v0 = crowd.speed[q];
        if (invHeadway > 0.0) v0 = std::min(v0, std::max(0.0, freeDistanceAhead(q) * invHeadway));
        crowd.heldSpeed[q] = v0;
        const double dx = (v0 * crowd.dirX[q] - VX[q]) * invTau;
        const double dy = (v0 * crowd.dirY[q] - VY[q]) * invTau;
        double sumX = ax[q], sumY = ay[q];
        for (const PairSums& part : parts_) {
            sumX += part.fx[q];
            sumY += part.fy[q];
        }
        ax[q] = sumX * invMass + dx;
        ay[q] = sumY * invMass + dy;
    }
}

}  // namespace crowd
