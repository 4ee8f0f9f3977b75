#include "scene/camera.h"

#include <algorithm>
#include <cmath>

namespace scene {

namespace {

using M = std::array<double, 16>;  // column-major

constexpr double kPi = 3.14159265358979323846;
constexpr double kTopDownMargin = 1.04;

M multiply(const M& a, const M& b) {
    M r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[c * 4 + k];
            r[c * 4 + row] = s;
        }
    return r;
}

Vec3 sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 add(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 mul(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot3(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross3(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 normalized(Vec3 a) { return mul(1.0 / std::sqrt(dot3(a, a)), a); }

// Rotation of v about the unit axis k by angle a (Rodrigues).
Vec3 rotate(Vec3 v, Vec3 k, double a) {
    const double c = std::cos(a), s = std::sin(a);
    return add(add(mul(c, v), mul(s, cross3(k, v))), mul(dot3(k, v) * (1.0 - c), k));
}

// The view matrix of a camera at eye with the given right, up and forward axes.
M view(Vec3 eye, Vec3 right, Vec3 up, Vec3 forward) {
    return {
        right.x, up.x, -forward.x, 0.0, right.y,           up.y,           -forward.y,         0.0,
        right.z, up.z, -forward.z, 0.0, -dot3(right, eye), -dot3(up, eye), dot3(forward, eye), 1.0};
}

}  // namespace

Camera Camera::script(Vec3 eye, crowd::Vec2 pivot, double yaw, double fovYDegrees) {
    Camera c;
    c.kind_ = Kind::Script;
    c.eye_ = eye;
    c.yaw_ = yaw;
    c.fovY_ = fovYDegrees;
    c.pivot_ = {pivot.x, 0.0, pivot.y};
    return c;
}

Camera Camera::topDown(const crowd::Box& floorBounds) {
    Camera c;
    c.kind_ = Kind::TopDown;
    c.bounds_ = floorBounds;
    return c;
}

void Camera::orbit(double dx, double dy) {
    constexpr double kRadiansPerPixel = 0.008;
    const double turn = -dx * kRadiansPerPixel;
    if (kind_ == Kind::TopDown) return;  // x stays to the right, z downward
    // Turn about the vertical through the pivot: the eye and the line of sight alike.
    const Vec3 up{0.0, 1.0, 0.0};
    Vec3 offset = rotate(sub(eye_, pivot_), up, turn);
    yaw_ += turn;
    // Tilt about the camera's right axis through the pivot, between looking
    // straight down and 10 degrees up.
    const double wanted = std::clamp(pitch_ - dy * kRadiansPerPixel, -kPi / 2 + 0.01, 0.17);
    const Vec3 right{std::cos(yaw_), 0.0, -std::sin(yaw_)};
    offset = rotate(offset, right, wanted - pitch_);
    pitch_ = wanted;
    eye_ = add(pivot_, offset);
}

void Camera::zoom(double steps) {
    const double factor = std::pow(0.85, steps);
    if (kind_ == Kind::TopDown) {
        scale_ = std::clamp(scale_ * factor, 0.02, 20.0);
        return;
    }
    const Vec3 offset = sub(eye_, pivot_);
    const double d = std::sqrt(dot3(offset, offset));
    const double nd = std::clamp(d * factor, 0.5, 5000.0);
    eye_ = add(pivot_, mul(d > 0.0 ? nd / d : 1.0, offset));
}

std::array<double, 16> Camera::matrix(int width, int height) const {
    const double aspect = static_cast<double>(std::max(width, 1)) / std::max(height, 1);
    if (kind_ == Kind::TopDown) {
        // The part of the picture the floor is fitted into, in pixels.
        const double W = std::max(width, 1), H = std::max(height, 1);
        const double iw = std::max(1.0, W * (1.0 - area_.left - area_.right));
        const double ih = std::max(1.0, H * (1.0 - area_.top - area_.bottom));
        const double innerAspect = iw / ih;
        const double cx = 0.5 * (bounds_.min.x + bounds_.max.x);
        const double cz = 0.5 * (bounds_.min.y + bounds_.max.y);
        const double halfH = scale_ * kTopDownMargin *
                             std::max({0.5 * (bounds_.max.y - bounds_.min.y),
                                       0.5 * (bounds_.max.x - bounds_.min.x) / innerAspect, 1e-3});
        const double halfW = halfH * innerAspect;
        // Screen right is +x, screen up is -z: z grows downward. The camera
        // looks down -y.
        const Vec3 right{1.0, 0.0, 0.0};
        const Vec3 up{0.0, 0.0, -1.0};
        const Vec3 forward{0.0, -1.0, 0.0};
        const Vec3 eye{cx, 100.0, cz};
        const M v = view(eye, right, up, forward);
        // Orthographic: depth from 1 m to 200 m below the eye; then the
        // inner part's -1..1 moved to where that part lies in the picture.
        const double n = 1.0, f = 200.0;
        const double sx = iw / W, sy = ih / H;
        const double ox = (2.0 * W * area_.left + iw) / W - 1.0;
        const double oy = 1.0 - (2.0 * H * area_.top + ih) / H;
        const M p = {sx / halfW,
                     0.0,
                     0.0,
                     0.0,
                     0.0,
                     sy / halfH,
                     0.0,
                     0.0,
                     0.0,
                     0.0,
                     -2.0 / (f - n),
                     0.0,
                     ox,
                     oy,
                     -(f + n) / (f - n),
                     1.0};
        return multiply(p, v);
    }
    const Vec3 forward{-std::sin(yaw_) * std::cos(pitch_), std::sin(pitch_),
                       -std::cos(yaw_) * std::cos(pitch_)};
    const Vec3 right = normalized(cross3(forward, {0.0, 1.0, 0.0}));
    const Vec3 up = cross3(right, forward);
    const M v = view(eye_, right, up, forward);
    const Vec3 offset = sub(eye_, pivot_);
    const double n = 0.05;
    const double f = 4.0 * std::sqrt(dot3(offset, offset)) + 1000.0;
    const double t = 1.0 / std::tan(fovY_ * kPi / 360.0);
    const M p = {t / aspect,
                 0.0,
                 0.0,
                 0.0,
                 0.0,
                 t,
                 0.0,
                 0.0,
                 0.0,
                 0.0,
                 (f + n) / (n - f),
                 -1.0,
                 0.0,
                 0.0,
                 2.0 * f * n / (n - f),
                 0.0};
    return multiply(p, v);
}

Mat4 Camera::viewProjection(int width, int height) const {
    const M m = matrix(width, height);
    Mat4 out{};
    for (std::size_t i = 0; i < 16; ++i) out[i] = static_cast<float>(m[i]);
    return out;
}

std::optional<std::array<double, 2>> Camera::project(Vec3 p, int width, int height) const {
    const M m = matrix(width, height);
    const double cx = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    const double cy = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    const double cw = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
    if (cw <= 1e-9) return std::nullopt;
    return std::array<double, 2>{0.5 * width * (1.0 + cx / cw), 0.5 * height * (1.0 - cy / cw)};
}

}  // namespace scene
