#include "cad/geos_context.h"

#include <stdexcept>

namespace cad {

GeosContext::GeosContext() : handle_(GEOS_init_r()) {
    if (handle_ == nullptr) throw std::runtime_error("GEOS could not be started");
    GEOSContext_setErrorMessageHandler_r(handle_, &GeosContext::onError, this);
    GEOSContext_setNoticeMessageHandler_r(handle_, nullptr, nullptr);
}

GeosContext::~GeosContext() { GEOS_finish_r(handle_); }

void GeosContext::onError(const char* message, void* self) {
    static_cast<GeosContext*>(self)->error_ = message != nullptr ? message : "";
}

GeosContext::Geom GeosContext::own(GEOSGeometry* g, const char* what) const {
    if (g == nullptr)
        throw std::runtime_error(std::string("the polygon ") + what + " failed: " + error_);
    return Geom(g, Deleter{handle_});
}

GeosContext::Geom GeosContext::polygon(const std::vector<Point>& ring) const {
    const unsigned n = static_cast<unsigned>(ring.size());
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(handle_, n + 1, 2);
    if (seq == nullptr) return Geom(nullptr, Deleter{handle_});
    for (unsigned i = 0; i <= n; ++i) {
        const Point& p = ring[i % n];
        GEOSCoordSeq_setXY_r(handle_, seq, i, p.x, p.y);
    }
    GEOSGeometry* shell = GEOSGeom_createLinearRing_r(handle_, seq);
    if (shell == nullptr) return Geom(nullptr, Deleter{handle_});
    return Geom(GEOSGeom_createPolygon_r(handle_, shell, nullptr, 0), Deleter{handle_});
}

GeosContext::Geom GeosContext::segment(Point a, Point b) const {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(handle_, 2, 2);
    GEOSCoordSeq_setXY_r(handle_, seq, 0, a.x, a.y);
    GEOSCoordSeq_setXY_r(handle_, seq, 1, b.x, b.y);
    return own(GEOSGeom_createLineString_r(handle_, seq), "segment");
}

GeosContext::Geom GeosContext::empty() const {
    return own(GEOSGeom_createEmptyPolygon_r(handle_), "empty");
}

GeosContext::Geom GeosContext::unionOf(std::vector<Geom> parts) const {
    if (parts.empty()) return empty();
    std::vector<GEOSGeometry*> raw;
    raw.reserve(parts.size());
    for (Geom& g : parts) raw.push_back(g.release());
    GEOSGeometry* collection = GEOSGeom_createCollection_r(
        handle_, GEOS_GEOMETRYCOLLECTION, raw.data(), static_cast<unsigned>(raw.size()));
    if (collection == nullptr) {
        for (GEOSGeometry* g : raw) GEOSGeom_destroy_r(handle_, g);
        throw std::runtime_error("the polygon union failed: " + error_);
    }
    Geom all = own(collection, "collection");
    return own(GEOSUnaryUnion_r(handle_, all.get()), "union");
}

std::vector<Point> GeosContext::points(const GEOSGeometry* ring) const {
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(handle_, ring);
    unsigned n = 0;
    GEOSCoordSeq_getSize_r(handle_, seq, &n);
    std::vector<Point> out;
    if (n == 0) return out;
    out.reserve(n - 1);
    for (unsigned i = 0; i + 1 < n; ++i) {
        Point p;
        GEOSCoordSeq_getXY_r(handle_, seq, i, &p.x, &p.y);
        out.push_back(p);
    }
    return out;
}

}  // namespace cad
