#pragma once
// The one palette of every picture of a run: the live window, the movie, the
// report's floor plan and the legends. A role has the same colour wherever
// it is drawn, and exits have a colour no role has (green, as exit signs),
// so that a door is never taken for a person. Plain numbers, no Qt and no
// OpenGL, so that the scene renderer, the overlay and the report's pictures
// all read it from here.

#include <array>
#include <cstdint>

#include "crowd/model.h"

namespace scene {

// sRGB, 0 to 255.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    constexpr bool operator==(const Rgb&) const = default;
    // 0 to 1, as OpenGL takes it.
    constexpr std::array<float, 3> unit() const {
        return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                static_cast<float>(b) / 255.0f};
    }
};

// Child orange, parent purple, adult blue, jogging child crimson, a
// scenario's person teal: far apart in hue, and none of them green.
constexpr Rgb rolePaint(crowd::Role role) {
    switch (role) {
        case crowd::Role::Child:
            return {235, 125, 20};
        case crowd::Role::Parent:
            return {130, 70, 175};
        case crowd::Role::Adult:
            return {35, 95, 190};
        case crowd::Role::JoggingChild:
            return {205, 30, 65};
        case crowd::Role::Person:
            break;
    }
    return {0, 150, 165};
}

// Every exit: a door's band and posts, a target line (drawn thinner, and
// dashed in the report).
inline constexpr Rgb kExitPaint{20, 160, 60};

// The roles in the order legends list them.
inline constexpr std::array<crowd::Role, 5> kLegendOrder{
    crowd::Role::Child, crowd::Role::Parent, crowd::Role::Adult, crowd::Role::JoggingChild,
    crowd::Role::Person};

}  // namespace scene
