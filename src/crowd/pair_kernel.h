#pragma once
// The pair forces of the social force model between everyone within range,
// the inner loop of every step. Two builds of one kernel: for the
// processor's 256-bit vector units (AVX2, four pairs at a time) and a
// portable one that works the same four lanes one after the other. Both do
// the same operations in the same order on every lane, so they give the
// same result bit for bit; the vectorised one is chosen at run time where
// the processor has it.

#include <cstddef>
#include <string_view>
#include <vector>

#include "crowd/neighbour_grid.h"
#include "crowd/people.h"

namespace crowd {

// A contact of the current step between sorted people s < t (t unused for
// a wall), with the sliding friction's damper strength (kg/s) and the
// tangent.
struct Contact {
    int s, t;
    double strength, tx, ty;
};

// What one part of a step's force evaluation adds up, per sorted index.
struct PairSums {
    std::vector<double> fx, fy;       // pair forces, N
    std::vector<double> frictionSum;  // damper strengths of the pair contacts, kg/s
    std::vector<double> ahead;        // free distance ahead, m
    std::vector<double> steerX, steerY;  // turn away from those ahead (see ModelParams)
    std::vector<Contact> contacts, wallContacts;
};

// The model's constants as the kernel needs them (see ModelParams).
struct PairTerms {
    double A = 0.0;              // repulsion strength, N
    double invB = 0.0;           // 1 / repulsion range, 1/m
    double k = 0.0;              // body compression, kg/s^2
    double kappa = 0.0;          // sliding friction, kg/(m s)
    double cutoffSquared = 0.0;  // m^2
    double lambda = 1.0;         // anisotropy: weight of what is behind
    bool headway = false;        // find the free distance ahead
    double headwayWidthSquared = 1.0;  // share of the two radii, squared
    double steerStrength = 0.0;  // 0: no turning away from those ahead
    double invSteerRange = 0.0;  // 1/m
    double period = 0.0;         // periodic corridor's length along x, 0: none
};

enum class Isa { Portable, Avx2 };

// Whether this processor (and this build) can run the kernel for isa.
bool isaAvailable(Isa isa);
// The fastest kernel this processor runs.
Isa bestIsa();
std::string_view isaName(Isa isa);

// Adds the forces, contacts and free distances ahead of every pair whose
// first person lies in the rows [rowBegin, rowEnd) of grid to sums (sized
// for the crowd). Each pair once: within a cell, and with the forward half
// of the neighbourhood; equal and opposite (the repulsion weighted for each
// by what it sees ahead).
using PairKernel = void (*)(const PairTerms& terms, const CellOrderedCrowd& crowd,
                            const NeighbourGrid& grid, int rowBegin, int rowEnd, PairSums& sums);
// The kernel for isa; throws std::invalid_argument where it is not available.
PairKernel pairKernel(Isa isa);

}  // namespace crowd
