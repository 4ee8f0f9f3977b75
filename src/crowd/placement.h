#pragma once
// Putting people on the floor: a spot is free when it lies in the walkable
// area, clear of every wall edge by the body radius, and clear of everyone
// placed before. A wanted spot that is not free is replaced by the nearest
// free one (searched on a 5 cm lattice around it, then over the whole area).

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "crowd/geometry.h"

namespace crowd {

class Placer {
  public:
    explicit Placer(const WalkableArea& area, double margin = 0.01);

    bool isFree(Vec2 p, double radius) const;
    // The wanted spot if free, else the nearest free one; nothing when the
    // area has no room left for this radius.
    std::optional<Vec2> nearestFree(Vec2 wanted, double radius) const;
    void add(Vec2 p, double radius);

    // The share of the sum of two radii that must lie between two people
    // (1 by default: no overlap). Less than 1 squeezes people in, bodies
    // compressed, where a floor has no room left; walls keep the full radius.
    void setPeopleClearance(double factor) { clearance_ = factor; }
    double peopleClearance() const { return clearance_; }

  private:
    bool clearOfWalls(Vec2 p, double radius) const;
    // The placed people in the buckets within reach of p.
    void gather(Vec2 p, double reach, std::vector<int>& out) const;
    bool clearOfPeople(Vec2 p, double radius, const std::vector<int>& near) const;
    // blocked[j * xs.size() + i]: whether one of `who` leaves no room for a
    // body of this radius at (xs[i], ys[j]); xs and ys ascend.
    void markPeople(const std::vector<double>& xs, const std::vector<double>& ys, double radius,
                    const std::vector<int>& who, std::vector<std::uint8_t>& blocked) const;
    std::int64_t key(int i, int j) const {
        return (static_cast<std::int64_t>(i) << 32) ^ static_cast<std::uint32_t>(j);
    }

    const WalkableArea& area_;
    std::vector<Segment> edges_;
    double margin_;
    double cell_ = 1.0;
    double maxRadius_ = 0.0;
    double clearance_ = 1.0;
    std::vector<Vec2> placed_;
    std::vector<double> radii_;
    std::unordered_map<std::int64_t, std::vector<int>> buckets_;
};

}  // namespace crowd
