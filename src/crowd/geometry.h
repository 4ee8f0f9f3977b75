#pragma once
// Plane geometry for the crowd model: points, segments, polygons and the
// walkable area. Everything is in metres, double precision; the second
// coordinate is called y here (it is the world's z on the floor plane).

#include <cstddef>
#include <optional>
#include <string>
#include <cstdint>
#include <vector>

namespace crowd {

struct Vec2 {
    double x = 0.0;
    double y = 0.0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(double s, Vec2 a) { return {s * a.x, s * a.y}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
double length(Vec2 a);
double distance(Vec2 a, Vec2 b);

struct Segment {
    Vec2 a;
    Vec2 b;
};

// Closest point of segment s to p, and the parameter t in [0, 1] along s.
Vec2 closestPoint(const Segment& s, Vec2 p, double* tOut = nullptr);
double distanceToSegment(const Segment& s, Vec2 p);

// True when the open segments p1-p2 and q1-q2 cross or touch.
bool segmentsIntersect(Vec2 p1, Vec2 p2, Vec2 q1, Vec2 q2);

using Polygon = std::vector<Vec2>;  // closed implicitly: last vertex joins the first

double signedArea(const Polygon& poly);
bool isSelfIntersecting(const Polygon& poly);
// Convex hull, counter-clockwise, without collinear points.
Polygon convexHull(std::vector<Vec2> points);
// Drops consecutive duplicate vertices (and a last vertex equal to the first).
Polygon withoutRepeatedVertices(const Polygon& poly);

struct Box {
    Vec2 min{0, 0};
    Vec2 max{0, 0};
};

// The walkable area: one or more closed polygons combined by the even-odd
// rule, so that a polygon inside another is a hole (a pillar, a table).
class WalkableArea {
  public:
    WalkableArea() = default;
    explicit WalkableArea(std::vector<Polygon> polygons);

    const std::vector<Polygon>& polygons() const { return polygons_; }
    bool contains(Vec2 p) const;
    // contains() for many points at once (1 where inside), at a cost that
    // grows with the edges and the points each edge spans in y, not with
    // edges times points.
    std::vector<std::uint8_t> containsEach(const std::vector<Vec2>& points) const;
    Box bounds() const { return bounds_; }
    // Every polygon edge, in polygon order.
    std::vector<Segment> edges() const;
    double area() const;  // even-odd area (holes subtracted)

  private:
    std::vector<Polygon> polygons_;
    Box bounds_{};
};

// Checks a polygon for use as a walkable outline. Returns an empty string when
// usable, else why not (fewer than three distinct vertices, no area).
std::string polygonProblem(const Polygon& poly);

}  // namespace crowd
