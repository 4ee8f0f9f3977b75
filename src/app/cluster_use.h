#pragma once
// What a build will make of the placed clusters: how many people there are,
// which clusters receive them, and which lie outside the floor. The dialog
// shows it in its notice line and draws the clusters that stay empty or lie
// off the floor hollow.

#include <array>
#include <string>
#include <vector>

#include "floorplan/placement_store.h"

namespace app {

struct ClusterUse {
    int people = 0;   // 2 x pairs + adults + children
    int families = 0, adults = 0, children = 0;  // as typed
    int placed = 0;   // clusters in the store
    int used = 0;     // clusters that receive ten people each (the first `used` slots)
    int outside = 0;  // placed clusters whose centre lies off the floor
    // Per cluster slot: drawn hollow (not used, or its centre off the floor).
    std::vector<bool> hollow;
};

// `outline` is the floor's outline, (x, z) per vertex in the floor's units;
// `scale` the view's scale. A cluster's centre is where the runtime starts
// it: the floor point under the click; with fewer than three outline
// vertices no cluster counts as outside.
ClusterUse clusterUse(int pairs, int adults, int children, const floorplan::PlacementStore& store,
                      float scale, const std::vector<std::array<float, 2>>& outline);

// "90 people: 30 families, 20 adults, 10 children; 6 of 6 clusters used",
// with "; 1 off the floor" when some clusters lie outside the outline.
std::string clusterUseText(const ClusterUse& use);

}  // namespace app
