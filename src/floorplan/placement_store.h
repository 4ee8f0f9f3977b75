#pragma once
// The positions the user clicked into the floor plan view, in view units.

#include <array>
#include <cstddef>

namespace floorplan {

// A position in view units: x from -1 (left) to +1 (right), y from -1 (top)
// to +1 (bottom), growing downward like pixel rows.
struct ViewPoint {
    float x = 0.0f;
    float y = 0.0f;
};

struct PlacementStore {
    static constexpr int kMaxExits = 2;
    static constexpr int kMaxClusters = 40;

    std::array<ViewPoint, kMaxExits> exits{};
    std::array<ViewPoint, kMaxClusters> clusters{};
    int exitCount = 0;
    int clusterCount = 0;
    int nextExit = 0;
    int nextCluster = 0;

    // Exits fill slots 0 and 1, then alternate 0, 1, 0, 1; the count stays 2.
    void placeExit(ViewPoint p) {
        if (exitCount < kMaxExits) ++exitCount;
        exits[static_cast<std::size_t>(nextExit)] = p;
        nextExit = nextExit < 1 ? nextExit + 1 : nextExit - 1;
    }

    // Clusters fill slots 0 to 39; the 41st overwrites slot 0, and from then
    // on each click replaces the oldest. The count stays 40.
    void placeCluster(ViewPoint p) {
        if (clusterCount < kMaxClusters) ++clusterCount;
        clusters[static_cast<std::size_t>(nextCluster)] = p;
        nextCluster = nextCluster < kMaxClusters - 1 ? nextCluster + 1 : 0;
    }
};

}  // namespace floorplan
