#pragma once
// A GEOS context of the reentrant C API for one thread, with owning handles
// for its geometries. GEOS's messages are kept, not printed.

#include <geos_c.h>

#include <memory>
#include <string>
#include <vector>

#include "cad/drawing.h"

namespace cad {

class GeosContext {
  public:
    GeosContext();
    ~GeosContext();
    GeosContext(const GeosContext&) = delete;
    GeosContext& operator=(const GeosContext&) = delete;

    GEOSContextHandle_t get() const { return handle_; }
    const std::string& lastError() const { return error_; }

    struct Deleter {
        GEOSContextHandle_t h;
        void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(h, g); }
    };
    using Geom = std::unique_ptr<GEOSGeometry, Deleter>;

    // Takes ownership of a result; a null result (GEOS failed) throws
    // std::runtime_error with GEOS's message.
    Geom own(GEOSGeometry* g, const char* what) const;

    // A polygon of one ring (closed here); nothing when GEOS cannot make it.
    Geom polygon(const std::vector<Point>& ring) const;
    // A line segment.
    Geom segment(Point a, Point b) const;
    // The union of many geometries (consumed).
    Geom unionOf(std::vector<Geom> parts) const;
    Geom empty() const;

    // The points of a ring of a polygon, without the repeated last point.
    std::vector<Point> points(const GEOSGeometry* ring) const;

  private:
    static void onError(const char* message, void* self);
    GEOSContextHandle_t handle_;
    std::string error_;
};

}  // namespace cad
