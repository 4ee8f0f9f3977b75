#include "scenario/scenario_settings.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace scenario {

WorldPosition viewToWorld(PlacementKind kind, float viewX, float viewY, float scale) {
    const float fx = kind == PlacementKind::Exit ? 0.86f : 0.72f;
    const float fz = kind == PlacementKind::Exit ? 0.93f : 0.78f;
    const double s = scale;
    WorldPosition w;
    w.x = static_cast<float>((static_cast<double>(viewX) * s) * static_cast<double>(fx));
    w.z = static_cast<float>((static_cast<double>(viewY) * s) * static_cast<double>(fz));
    return w;
}

int floorScaleFromScale(float scale) {
    if (!(scale == scale)) return 0;  // NaN
    if (scale >= static_cast<float>(INT_MAX)) return INT_MAX;
    if (scale <= static_cast<float>(INT_MIN)) return INT_MIN;
    return static_cast<int>(std::trunc(scale));
}

int countFromText(std::string_view text) {
    size_t i = 0;
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!saturated) {
            value = value * 10 + (text[i] - '0');
            if (value > static_cast<long long>(INT_MAX) + 1) saturated = true;
        }
    }
    if (negative) {
        value = -value;
        if (saturated || value < INT_MIN) return INT_MIN;
        return static_cast<int>(value);
    }
    if (saturated || value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

void applyCommandFlags(ScenarioSettings& settings, BuildCommand command) {
    settings.recordKvx = command == BuildCommand::CreateKvx;
    settings.recordAvi = command == BuildCommand::CreateAvi;
}

ScenarioSettings makeScenarioSettings(const ScenarioInput& input) {
    ScenarioSettings settings;
    settings.pairCount = input.pairCount;
    settings.adultCount = input.adultCount;
    settings.childCount = input.childCount;
    applyCommandFlags(settings, input.command);
    auto toWorld = [&](const Placed& p, PlacementKind kind) {
        return p.inWorldUnits ? WorldPosition{p.x, p.y} : viewToWorld(kind, p.x, p.y, input.scale);
    };
    const int exitCount = static_cast<int>(std::min<std::size_t>(input.exits.size(), kMaxExits));
    const int clusterCount =
        static_cast<int>(std::min<std::size_t>(input.clusters.size(), kMaxClusters));
    for (int k = 0; k < exitCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        settings.exits[i] = toWorld(input.exits[i], PlacementKind::Exit);
    }
    for (int j = 0; j < clusterCount; ++j) {
        const auto i = static_cast<std::size_t>(j);
        settings.clusters[i] = toWorld(input.clusters[i], PlacementKind::Cluster);
    }
    settings.exitCount = exitCount;
    settings.clusterCount = clusterCount;
    settings.floorPath = input.floorPath;
    settings.startDirectory = input.startDirectory;
    settings.floorScale = floorScaleFromScale(input.scale);
    return settings;
}

std::string countText(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string peopleText(int families, int adults, int children) {
    return countText(families, "family", "families") + ", " + countText(adults, "adult", "adults") +
           ", " + countText(children, "child", "children");
}

}  // namespace scenario
