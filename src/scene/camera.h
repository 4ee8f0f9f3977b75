#pragma once
// The two cameras of the scene, as matrices and as a projection to pixels.
//
// The 3-D frame. Metres, right-handed, y up: the floor is the plane y = 0,
// its x is the world's x and its z the world's z (the floor plan's second
// coordinate, crowd::Vec2::y). A project's world units are decimetres, so the
// script's camera position is divided by ten.
//
// The script camera. The project's startup script sets `camera.fovy = 60`,
// starts from the identity transform, puts the camera at (CAMX, CAMY, CAMZ)
// world units and sets `T.rotation.y = -0.42`. We read that as:
//  - the identity camera looks along -z with +y up and +x to the right (the
//    OpenGL convention);
//  - rotation.y is a rotation about the vertical axis by -0.42 rad, right-hand
//    rule (positive turns the view to the left, toward -x), so the camera
//    looks along (sin 0.42, 0, -cos 0.42) = (0.408, 0, -0.913): 24 degrees to
//    the right of -z, toward +x;
//  - nothing sets a pitch or roll, so the line of sight is horizontal at the
//    eye height CAMY;
//  - fovy is the vertical field of view in degrees; the horizontal one
//    follows from the window's aspect ratio.
// Why: the script puts the camera at (-1.43 s, 0.29 s, 1.43 s) for a floor
// whose largest coordinate is s, so the floor lies toward +x and -z from it.
// With this reading the floor's centre is 21 degrees right of the middle of
// the picture and below the horizon, in sight at any usual aspect ratio; had
// the identity camera looked along +z (the other common convention) it
// would face away from the floor.
//
// The top-down camera: orthographic, looking straight down, x to the right
// and z downward on the screen (as the dialog's floor plan shows the floor),
// fitted to the floor's bounds with a 4 % margin on each side, within the
// part of the picture the overlay leaves free (setPlanArea). A drag never
// turns it, so the floor keeps the dialog's orientation; the wheel zooms.
//
// Pixels: (0, 0) is the top-left corner of the top-left pixel, x grows to the
// right and y downward; a pixel's centre is at +0.5.

#include <array>
#include <optional>

#include "crowd/geometry.h"

namespace scene {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

// Column-major, as OpenGL takes it.
using Mat4 = std::array<float, 16>;

class Camera {
  public:
    enum class Kind { Script, TopDown };

    // The script camera at `eye` (metres), turned by `yaw` radians about the
    // vertical axis. Orbits turn about the floor point `pivot` (its centre).
    static Camera script(Vec3 eye, crowd::Vec2 pivot, double yaw = -0.42,
                         double fovYDegrees = 60.0);
    // The top-down view of `floorBounds` (metres on the floor plane).
    static Camera topDown(const crowd::Box& floorBounds);

    Kind kind() const { return kind_; }

    // Top-down: the floor is fitted into this part of the picture, given as
    // the shares of its width and height left free at each side (so that it
    // holds at any pixel density). The script camera ignores it.
    struct Area {
        double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
    };
    void setPlanArea(Area free) { area_ = free; }
    Area planArea() const { return area_; }

    // A mouse drag of (dx, dy) pixels: turns the view about the vertical
    // axis through the pivot (and tilts it, for the script camera).
    void orbit(double dxPixels, double dyPixels);
    // Wheel steps: positive comes closer (each step 15 % of the distance).
    void zoom(double steps);

    Mat4 viewProjection(int width, int height) const;
    // The pixel where a point appears; none when it is behind the camera.
    std::optional<std::array<double, 2>> project(Vec3 world, int width, int height) const;

  private:
    std::array<double, 16> matrix(int width, int height) const;

    Kind kind_ = Kind::TopDown;
    // Script camera.
    Vec3 eye_{};
    double yaw_ = 0.0, pitch_ = 0.0, fovY_ = 60.0;
    Vec3 pivot_{};
    // Top-down camera.
    crowd::Box bounds_{};
    double scale_ = 1.0;  // below 1: zoomed in
    Area area_{};
};

}  // namespace scene
