#pragma once
// The force terms of the social force model, added up over everyone inside
// in the order of the neighbour grid's cells:
//  - the walls: exponential repulsion, body compression and a contact for
//    the sliding friction;
//  - the pairs: the same between two people, plus the free distance ahead
//    that the headway rule needs;
//  - the sliding friction of all contacts, held within what an explicit
//    step damps stably;
//  - the driving term toward the desired velocity.
// The work comes in kParts fixed parts (people by sorted index, pairs by
// the row of the first cell) that add into their own sums, so that the
// parts can run at the same time and the result does not depend on how
// many threads run them: the parts are combined in a fixed order.

#include <cstddef>
#include <vector>

#include "crowd/model.h"
#include "crowd/neighbour_grid.h"
#include "crowd/pair_kernel.h"
#include "crowd/people.h"
#include "crowd/wall_grid.h"

namespace crowd {

class Forces {
  public:
    static constexpr int kParts = 2;

    // The pairs go through the kernel for isa (the fastest this processor
    // runs unless told; all give the same result bit for bit).
    explicit Forces(const ModelParams& params, Isa isa = bestIsa());

    // Makes room for the sums of a step of up to n people, and for their
    // contacts in any crowd (bodies pressed on every side).
    void reserve(std::size_t n);
    // Starts a step of n people: clears the friction sums.
    void begin(std::size_t n);
    // People [from, to) of the cell order: adds the wall forces to the
    // force each already holds (N).
    void addWalls(int part, CellOrderedCrowd& crowd, const NeighbourGrid& grid,
                  const WallGrid& walls, std::size_t from, std::size_t to);
    // The pairs whose first person lies in the rows [rowBegin, rowEnd).
    void addPairs(int part, const CellOrderedCrowd& crowd, const NeighbourGrid& grid, int rowBegin,
                  int rowEnd);
    // Once every part is done: the sliding friction of all contacts, on
    // one thread (a contact touches two people anywhere in the order).
    void addFriction(CellOrderedCrowd& crowd);
    // Then, for the people [from, to) of the cell order, in parts at the
    // same time: the parts' sums and the driving term. crowd.ax, ay become
    // accelerations (m/s^2), crowd.heldSpeed the desired speed after the
    // headway rule.
    void drive(CellOrderedCrowd& crowd, std::size_t from, std::size_t to);
    // Both, for everyone.
    void finish(CellOrderedCrowd& crowd) {
        addFriction(crowd);
        drive(crowd, 0, crowd.size());
    }

    // Free distance ahead of sorted person s found by the pairs, m
    // (infinite: nobody in the way). Valid between addPairs and the next
    // begin.
    double freeDistanceAhead(std::size_t s) const;
    // The turn away from those ahead of sorted person s (see
    // ModelParams::steerStrength), summed over the parts in a fixed order.
    Vec2 steering(std::size_t s) const;

  private:
    ModelParams params_;
    PairTerms pairTerms_;
    PairKernel pairKernel_;
    double cutoffSquared_;
    double frictionBudget_;  // per body, kg/s
    // Per sorted index: the damper strengths of all contacts (the walls'
    // share first, then the parts').
    std::vector<double> frictionSum_;
    PairSums parts_[kParts];
};

}  // namespace crowd
