#pragma once
// The pair kernel, written once for a pack of four doubles P. A pack type
// provides: construction from a double (all lanes), load(pointer, count)
// (lanes past count read as 0 and touch no memory), + - * / and unary -,
// squareRoot, minOf, maxOf, powerOfTwo (see fast_exp.h), store, sum() as
// (l0 + l1) + (l2 + l3), least(), and P::Mask with &, bits() (lane i in
// bit i), firstLanes(count), less, lessOrEqual, greater and select. Every
// operation is one correctly rounded IEEE operation per lane, so any two
// pack types give the same bits.
//
// People come in the neighbour grid's cell order. For person s the pairs
// with everyone after s in its own cell and in the forward cells are taken
// four at a time; the forward ranges that follow each other in memory (the
// rest of one's own cell and the cell to the right, the three cells of the
// row above) are walked as one, so that the lanes stay full.

#include <algorithm>
#include <bit>
#include <limits>

#include "crowd/fast_exp.h"
#include "crowd/pair_kernel.h"

namespace crowd {

template <class P>
void addPairsInPacks(const PairTerms& terms, const CellOrderedCrowd& crowd,
                     const NeighbourGrid& grid, int rowBegin, int rowEnd, PairSums& sums) {
    using Mask = typename P::Mask;
    constexpr int kLanes = 4;
    const P A(terms.A), invB(terms.invB), k(terms.k), cut2(terms.cutoffSquared);
    const P lambda(terms.lambda), halfRest(0.5 * (1.0 - terms.lambda));
    const P zero(0.0), one(1.0), apartFrom(1e-9);
    const bool isotropic = terms.lambda == 1.0;
    const bool headway = terms.headway;
    const bool steer = terms.steerStrength > 0.0;
    const P stripShare(terms.headwayWidthSquared);
    const P steerStrength(terms.steerStrength), invSteerRange(terms.invSteerRange);
    double* const steerX = sums.steerX.data();
    double* const steerY = sums.steerY.data();
    const bool periodic = terms.period > 0.0;
    const P period(terms.period), halfPeriod(0.5 * terms.period), minusHalfPeriod(-0.5 * terms.period);
    const double kappa = terms.kappa;
    double* const ahead = sums.ahead.data();
    double* const fx = sums.fx.data();
    double* const fy = sums.fy.data();
    double* const fsum = sums.frictionSum.data();
    std::vector<Contact>& contacts = sums.contacts;
    const double* const X = crowd.x.data();
    const double* const Y = crowd.y.data();
    const double* const R = crowd.radius.data();
    const double* const EX = crowd.dirX.data();
    const double* const EY = crowd.dirY.data();
    const double* const GO = crowd.walkLeft.data();
    // What the lanes hand on to the people they met, one by one.
    alignas(32) double onTx[kLanes], onTy[kLanes], overlapOf[kLanes], normalX[kLanes],
        normalY[kLanes], aheadOfT[kLanes], steerTx[kLanes], steerTy[kLanes];

    grid.forEachOccupiedCell(rowBegin, rowEnd, [&](int begin, int end,
                                                   const NeighbourGrid::ForwardRanges& forward) {
        // The forward cells as few ranges as possible; the first is joined
        // to the rest of one's own cell below when it follows it.
        int rangeBegin[5], rangeEnd[5];
        int ranges = 0;
        for (int r = 0; r < forward.count; ++r) {
            if (ranges > 0 && rangeEnd[ranges - 1] == forward.begin[r]) {
                rangeEnd[ranges - 1] = forward.end[r];
            } else {
                rangeBegin[ranges] = forward.begin[r];
                rangeEnd[ranges] = forward.end[r];
                ++ranges;
            }
        }
        const bool joinOwn = ranges > 0 && rangeBegin[0] == end;
        for (int s = begin; s < end; ++s) {
            const P xs(X[s]), ys(Y[s]), rs(R[s]), exs(EX[s]), eys(EY[s]), gos(GO[s]);
            P fxs(0.0), fys(0.0), steerXs(0.0), steerYs(0.0);
            P aheadS(std::numeric_limits<double>::infinity());
            auto group = [&](int t0, int count) {
                const Mask valid = Mask::firstLanes(count);
                P dx = xs - P::load(X + t0, count);
                const P dy = ys - P::load(Y + t0, count);
                if (periodic) {  // the short way round
                    dx = select(greater(dx, halfPeriod), dx - period,
                                select(less(dx, minusHalfPeriod), dx + period, dx));
                }
                const P d2 = dx * dx + dy * dy;
                const Mask near = valid & less(d2, cut2);
                const unsigned nearBits = near.bits();
                if (nearBits == 0) return;
                const P root = squareRoot(d2);
                const Mask apart = greater(root, apartFrom);
                const P inv = one / root;
                // On top of each other: part along x.
                const P nx = select(apart, dx * inv, one);
                const P ny = select(apart, dy * inv, zero);
                const P d = select(apart, root, zero);
                const P rt = P::load(R + t0, count);
                const P ext = P::load(EX + t0, count), eyt = P::load(EY + t0, count);
                const P rsum = rs + rt;
                const P overlap = rsum - d;
                unsigned aheadTBits = 0;
                if (headway) {
                    // Is the other one in the path of either, walking the
                    // same way (desired directions less than 90 degrees
                    // apart), and no farther from its exit? In the path: the
                    // body-wide strip along the walking line meets the
                    // other's disc (centre within the two radii of the
                    // line). Then the free distance is how far one can walk
                    // straight on before the bodies touch. Someone coming
                    // the other way is passed by the forces, not waited for.
                    // Of two whose paths cross, the one nearer the exit goes
                    // first: a zip, not a standstill.
                    const P got = P::load(GO + t0, count);
                    const P l2 = rsum * rsum;
                    const P strip2 = stripShare * l2;
                    const Mask sameWay = near & greater(exs * ext + eys * eyt, zero);
                    const P ps = -(dx * exs + dy * eys);  // s looks toward t
                    const P sideS = d2 - ps * ps;
                    const Mask forS = sameWay & greater(ps, zero) & less(sideS, strip2) &
                                      lessOrEqual(got, gos);
                    const P aheadCandidate = ps - squareRoot(maxOf(l2 - sideS, zero));
                    aheadS = select(forS, minOf(aheadS, aheadCandidate), aheadS);
                    const P pt = dx * ext + dy * eyt;  // t looks toward s
                    const P sideT = d2 - pt * pt;
                    const Mask forT = sameWay & greater(pt, zero) & less(sideT, strip2) &
                                      lessOrEqual(gos, got);
                    aheadTBits = forT.bits();
                    if (aheadTBits != 0) (pt - squareRoot(maxOf(l2 - sideT, zero))).store(aheadOfT);
                }
                unsigned steerTBits = 0;
                if (steer) {
                    // Turning away from the one ahead: the part of n across
                    // one's way, weighted by how close the bodies are. For s
                    // the other is ahead when n points against s's way; for
                    // t, -n is across t's way with the sign turned. Most
                    // pairs within the cutoff are beyond the steering's
                    // reach: a group with none is passed over.
                    const P reach = one + overlap * invSteerRange;
                    const Mask close = near & greater(reach, zero);
                    if (close.bits() != 0) {
                        const P weight = steerStrength * reach * reach;
                        const P alongS = nx * exs + ny * eys;
                        const Mask tAhead = close & less(alongS, zero);
                        steerXs = steerXs + select(tAhead, weight * (nx - alongS * exs), zero);
                        steerYs = steerYs + select(tAhead, weight * (ny - alongS * eys), zero);
                        const P alongT = nx * ext + ny * eyt;
                        const Mask sAhead = close & greater(alongT, zero);
                        steerTBits = sAhead.bits();
                        if (steerTBits != 0) {
                            (weight * (alongT * ext - nx)).store(steerTx);
                            (weight * (alongT * eyt - ny)).store(steerTy);
                        }
                    }
                }
                // The repulsion as each of the two sees it: n points from t to s.
                const P rep = A * fastExpOf(overlap * invB);
                P repS = rep, repT = rep;
                if (!isotropic) {
                    const P cs = exs * nx + eys * ny;  // -cos(phi) for s
                    const P ct = ext * nx + eyt * ny;  // cos(phi) for t
                    repS = rep * (lambda + halfRest * (one - cs));
                    repT = rep * (lambda + halfRest * (one + ct));
                }
                P gx = repS * nx, gy = repS * ny;  // on s
                P hx = repT * nx, hy = repT * ny;  // on t, with the sign reversed below
                const Mask touching = near & greater(overlap, zero);
                const unsigned touchingBits = touching.bits();
                if (touchingBits != 0) {
                    // Body compression, equal and opposite; the sliding
                    // friction follows once all contacts are known.
                    const P press = k * overlap;
                    const P bx = press * nx, by = press * ny;
                    gx = select(touching, gx + bx, gx);
                    gy = select(touching, gy + by, gy);
                    hx = select(touching, hx + bx, hx);
                    hy = select(touching, hy + by, hy);
                    overlap.store(overlapOf);
                    nx.store(normalX);
                    ny.store(normalY);
                }
                fxs = fxs + select(near, gx, zero);
                fys = fys + select(near, gy, zero);
                hx.store(onTx);
                hy.store(onTy);
                for (unsigned bits = nearBits; bits != 0; bits &= bits - 1) {
                    const int lane = std::countr_zero(bits);
                    const int t = t0 + lane;
                    fx[t] -= onTx[lane];
                    fy[t] -= onTy[lane];
                    if (touchingBits & (1u << lane)) {
                        const double strength = kappa * overlapOf[lane];
                        fsum[s] += strength;
                        fsum[t] += strength;
                        contacts.push_back({s, t, strength, -normalY[lane], normalX[lane]});
                    }
                    if (aheadTBits & (1u << lane)) ahead[t] = minOf(ahead[t], aheadOfT[lane]);
                    if (steerTBits & (1u << lane)) {
                        steerX[t] += steerTx[lane];
                        steerY[t] += steerTy[lane];
                    }
                }
            };
            // Everyone after s in its own cell, then the forward ranges.
            int walkBegin[6], walkEnd[6];
            int walks = 0;
            if (joinOwn) {
                walkBegin[walks] = s + 1;
                walkEnd[walks++] = rangeEnd[0];
            } else {
                walkBegin[walks] = s + 1;
                walkEnd[walks++] = end;
                if (ranges > 0) {
                    walkBegin[walks] = rangeBegin[0];
                    walkEnd[walks++] = rangeEnd[0];
                }
            }
            for (int r = 1; r < ranges; ++r) {
                walkBegin[walks] = rangeBegin[r];
                walkEnd[walks++] = rangeEnd[r];
            }
            for (int w = 0; w < walks; ++w)
                for (int t = walkBegin[w]; t < walkEnd[w]; t += kLanes)
                    group(t, std::min(kLanes, walkEnd[w] - t));
            fx[s] += fxs.sum();
            fy[s] += fys.sum();
            ahead[s] = minOf(ahead[s], aheadS.least());
            if (steer) {
                steerX[s] += steerXs.sum();
                steerY[s] += steerYs.sum();
            }
        }
    });
}

}  // namespace crowd
