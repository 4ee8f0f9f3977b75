#include "app/cluster_use.h"

#include <algorithm>

#include "generator/generated_texts.h"
#include "scenario/scenario_settings.h"

namespace app {

namespace {

// Even-odd rule: whether (x, z) lies inside the closed outline.
bool insideOutline(const std::vector<std::array<float, 2>>& outline, double x, double z) {
    bool inside = false;
    const std::size_t n = outline.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = outline[i][0], zi = outline[i][1];
        const double xj = outline[j][0], zj = outline[j][1];
        if ((zi > z) != (zj > z) && x < (xj - xi) * (z - zi) / (zj - zi) + xi) inside = !inside;
    }
    return inside;
}

}  // namespace

ClusterUse clusterUse(int pairs, int adults, int children, const floorplan::PlacementStore& store,
                      float scale, const std::vector<std::array<float, 2>>& outline) {
    ClusterUse use;
    use.placed = std::clamp(store.clusterCount, 0, floorplan::PlacementStore::kMaxClusters);
    const generator::PeopleLayout layout =
        generator::layoutPeople(pairs, adults, children, use.placed);
    use.people = static_cast<int>(layout.total);
    use.families = pairs;
    use.adults = adults;
    use.children = children;
    use.used = static_cast<int>(layout.used);
    use.hollow.assign(static_cast<std::size_t>(use.placed), false);
    for (int j = 0; j < use.placed; ++j) {
        const auto k = static_cast<std::size_t>(j);
        const floorplan::ViewPoint p = store.clusters[k];
        // The runtime starts a cluster at the floor point under the click,
        // which the view draws at (x, z) / (scale + 1).
        const double x = static_cast<double>(p.x) * (scale + 1.0);
        const double z = static_cast<double>(p.y) * (scale + 1.0);
        const bool off = scale > 0.0f && outline.size() >= 3 && !insideOutline(outline, x, z);
        if (off) ++use.outside;
        use.hollow[k] = off || j >= use.used;
    }
    return use;
}

std::string clusterUseText(const ClusterUse& use) {
    std::string text = std::to_string(use.people) + (use.people == 1 ? " person: " : " people: ") +
                       scenario::peopleText(use.families, use.adults, use.children) + "; " +
                       std::to_string(use.used) + " of " + std::to_string(use.placed) +
                       (use.placed == 1 ? " cluster used" : " clusters used");
    if (use.outside > 0) text += "; " + std::to_string(use.outside) + " off the floor";
    return text;
}

}  // namespace app
