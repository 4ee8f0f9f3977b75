#include "scenario/scenario_settings.h"

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

}  // namespace scenario
