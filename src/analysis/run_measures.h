#pragma once
// What one run measures beyond who left when: the local density over the
// floor, the flow through each exit, and per person the route walked and the
// time spent waiting.
//
// Density. At each frame every person adds a Gaussian of radius R = 0.7 m,
// exp(-d^2 / R^2) / (pi R^2), to the cells of a 0.25 m grid around them (the
// estimate of Helbing, Johansson and Al-Abideen, Phys. Rev. E 75, 046109,
// 2007), cut off at 1.5 R. Each cell's sum is divided by the part of the
// kernel that lies on walkable cells, so a crowd against a wall reads the
// same density as one in the open. The frames of each 1 s window are
// averaged; a cell keeps the highest window average it reached and the time
// it spent above 2 and above 4 people per m^2.
//
// Waiting: a person inside whose displacement between two frames is slower
// than 0.1 m/s waits for that interval (after their pre-movement time).

#include <cstdint>
#include <string>
#include <vector>

#include "crowd/geometry.h"

namespace analysis {

// Fruin's levels of service for walkways, by density in people per m^2
// (Pedestrian Planning and Design, 1971: A from 3.25 m^2 a person or more,
// B 2.32, C 1.39, D 0.93, E 0.46, F below).
struct ServiceLevel {
    char name;
    double upTo;  // people per m^2; the last level is unbounded
    const char* colour;
};
const std::vector<ServiceLevel>& serviceLevels();
char serviceLevelOf(double density);

struct DensityGrid {
    crowd::Vec2 origin;  // lower corner of cell (0, 0), m
    double cell = 0.25;  // m
    int columns = 0, rows = 0;
    std::vector<std::uint8_t> walkable;  // per cell (row-major), its centre on the floor
    std::vector<double> peak;            // highest 1 s average, people per m^2
    std::vector<double> secondsAbove2, secondsAbove4;
    double at(const std::vector<double>& field, int column, int row) const {
        return field[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                     static_cast<std::size_t>(column)];
    }
    crowd::Vec2 centre(int column, int row) const {
        return {origin.x + (column + 0.5) * cell, origin.y + (row + 0.5) * cell};
    }
};

struct ExitFlow {
    std::vector<double> time;     // s, every 0.5 s from 0 to the end of the run
    std::vector<double> flow;     // people per s over the 10 s before each time
    std::vector<int> cumulative;  // people out by each time
};

struct PersonMeasures {
    double routeLength = 0.0;  // m, walked while inside
    double waitingTime = 0.0;  // s, slower than 0.1 m/s after the pre-movement
};

class RunMeasures {
  public:
    static constexpr double kCell = 0.25;         // m
    static constexpr double kKernelRadius = 0.7;  // m
    static constexpr double kWindow = 1.0;        // s
    static constexpr double kWaitingSpeed = 0.1;  // m/s
    static constexpr double kFlowWindow = 10.0;   // s
    static constexpr double kFlowStep = 0.5;      // s

    RunMeasures(const crowd::WalkableArea& area, std::vector<double> preMovement);

    // Positions of everyone inside at `time`; frames come in time order.
    void frame(double time, const std::vector<int>& people,
               const std::vector<crowd::Vec2>& positions);

    // After the last frame: `exitUsed` (-1 inside) and `exitTime` per person,
    // each person's final position, the number of exits and the end time.
    void finish(const std::vector<int>& exitUsed, const std::vector<double>& exitTime,
                const std::vector<crowd::Vec2>& finalPositions, std::size_t exits, double endTime);

    const DensityGrid& density() const { return grid_; }
    const std::vector<ExitFlow>& flows() const { return flows_; }
    const std::vector<PersonMeasures>& persons() const { return persons_; }
    double peakDensity() const;  // over all cells

  private:
    void closeWindow();

    DensityGrid grid_;
    std::vector<double> norm_;    // walkable part of the kernel per cell
    std::vector<double> window_;  // sum of the frames' densities in the window
    int windowFrames_ = 0;
    double windowStart_ = 0.0, lastTime_ = 0.0;
    double frameInterval_ = kWindow;
    std::vector<double> kernel_;  // weights of the cell offsets within the cutoff
    int reach_ = 0;               // cells each way
    std::vector<double> pre_;
    std::vector<crowd::Vec2> lastPos_;
    std::vector<double> lastSeen_;  // time of the person's last frame, NaN: none yet
    std::vector<PersonMeasures> persons_;
    std::vector<ExitFlow> flows_;
};

}  // namespace analysis
