#include "cad/plan.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

#include "cad/geos_context.h"
#include "cad/rings.h"
#include "platform/input_error.h"
#include "platform/number_text.h"

namespace cad {

namespace {

using Geom = GeosContext::Geom;

[[noreturn]] void refuse(const std::string& label, const std::string& layer,
                         const std::string& what) {
    throw platform::InputError(label + ": layer " + layer + ": " + what);
}

std::string layerList(const Drawing& d) {
    std::string out;
    std::size_t n = 0;
    for (const std::string& name : d.layerTable) {
        if (n == 20) {
            out += ", ...";
            break;
        }
        out += (n++ == 0 ? "" : ", ") + name;
    }
    return out.empty() ? "none" : out;
}

// The pieces of a layer, checked: a required layer must exist and hold
// linework; nothing on it may be of a type that is not read.
const std::vector<Piece>* layerPieces(const Drawing& d, const LayerChoice& choice,
                                      const std::string& label) {
    if (choice.name.empty()) return nullptr;
    const auto skipped = d.skipped.find(choice.name);
    if (skipped != d.skipped.end() && !skipped->second.empty())
        refuse(label, choice.name,
               skipped->second.front() + " is not read (" +
                   std::to_string(skipped->second.size()) +
                   " such entities on the layer): draw it with lines, arcs, circles or "
                   "polylines");
    const auto found = d.pieces.find(choice.name);
    if (found != d.pieces.end() && !found->second.empty()) return &found->second;
    if (!choice.required) return nullptr;
    if (!d.layerTable.count(choice.name))
        refuse(label, choice.name,
               "the drawing has no such layer (its layers: " + layerList(d) + ")");
    refuse(label, choice.name, "the layer is empty: it holds no lines, arcs, circles or polylines");
}

// A ring made a valid polygon, or refused naming its handle.
Geom ringPolygon(const GeosContext& g, const HandledRing& r, const std::string& label,
                 const std::string& layer) {
    const std::string who = r.type + " " + r.handle +
                            (r.pieces > 1 ? " (and " + std::to_string(r.pieces - 1) +
                                                " more pieces joined to it)"
                                          : std::string());
    if (r.points.size() < 3 || std::fabs(signedArea(r.points)) < 1e-12)
        refuse(label, layer, who + " encloses no area");
    Geom p = g.polygon(r.points);
    if (!p) refuse(label, layer, who + " is not a usable ring");
    if (GEOSisValid_r(g.get(), p.get()) != 1) {
        char* reason = GEOSisValidReason_r(g.get(), p.get());
        std::string why = reason != nullptr ? reason : "invalid";
        if (reason != nullptr) GEOSFree_r(g.get(), reason);
        refuse(label, layer, who + " crosses itself (" + why + ")");
    }
    return p;
}

// The union of valid polygons that mostly do not touch (pillars, desks): only
// polygons whose boxes overlap are unioned, in groups; the rest are put
// together as they are (boxes apart, so the polygons are apart). Far faster
// than one union of all when most stand alone.
Geom unionOfMostlyApart(const GeosContext& g, std::vector<Geom> polys) {
    const std::size_t n = polys.size();
    if (n < 2) return g.unionOf(std::move(polys));
    std::vector<std::size_t> parent(n);
    for (std::size_t i = 0; i < n; ++i) parent[i] = i;
    auto root = [&](std::size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    GEOSSTRtree* tree = GEOSSTRtree_create_r(g.get(), 10);
    for (std::size_t i = 0; i < n; ++i)
        GEOSSTRtree_insert_r(g.get(), tree, polys[i].get(), reinterpret_cast<void*>(i));
    struct Query {
        std::size_t self;
        std::vector<std::size_t>* hits;
    };
    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < n; ++i) {
        hits.clear();
        Query q{i, &hits};
        GEOSSTRtree_query_r(
            g.get(), tree, polys[i].get(),
            [](void* item, void* data) {
                auto* query = static_cast<Query*>(data);
                const std::size_t j = reinterpret_cast<std::size_t>(item);
                if (j != query->self) query->hits->push_back(j);
            },
            &q);
        for (std::size_t j : hits) parent[root(i)] = root(j);
    }
    GEOSSTRtree_destroy_r(g.get(), tree);
    std::map<std::size_t, std::vector<Geom>> groups;
    for (std::size_t i = 0; i < n; ++i) groups[root(i)].push_back(std::move(polys[i]));
    std::vector<GEOSGeometry*> parts;
    auto collect = [&](Geom geom) {
        // A union may give a multipolygon: its polygons, one by one.
        const int type = GEOSGeomTypeId_r(g.get(), geom.get());
        if (type == GEOS_POLYGON) {
            parts.push_back(geom.release());
            return;
        }
        const int m = GEOSGetNumGeometries_r(g.get(), geom.get());
        for (int k = 0; k < m; ++k)
            parts.push_back(GEOSGeom_clone_r(g.get(), GEOSGetGeometryN_r(g.get(), geom.get(), k)));
    };
    for (auto& [r, group] : groups)
        collect(group.size() == 1 ? std::move(group.front()) : g.unionOf(std::move(group)));
    GEOSGeometry* multi = GEOSGeom_createCollection_r(g.get(), GEOS_MULTIPOLYGON, parts.data(),
                                                      static_cast<unsigned>(parts.size()));
    if (multi == nullptr) {
        for (GEOSGeometry* p : parts) GEOSGeom_destroy_r(g.get(), p);
        throw std::runtime_error("the polygon union failed: " + g.lastError());
    }
    return g.own(multi, "union");
}

std::vector<Geom> polygonsOf(const GeosContext& g, const std::vector<HandledRing>& rings,
                             const std::string& label, const std::string& layer) {
    std::vector<Geom> out;
    out.reserve(rings.size());
    for (const HandledRing& r : rings) out.push_back(ringPolygon(g, r, label, layer));
    return out;
}

// The wall mass: rings by depth (how many other rings contain them), the
// even depths added and the odd ones cut out, in order of depth.
Geom wallMass(const GeosContext& g, std::vector<Geom> polys) {
    const std::size_t n = polys.size();
    std::vector<int> depth(n, 0);
    if (n > 1) {
        GEOSSTRtree* tree = GEOSSTRtree_create_r(g.get(), 10);
        for (std::size_t i = 0; i < n; ++i)
            GEOSSTRtree_insert_r(g.get(), tree, polys[i].get(), reinterpret_cast<void*>(i));
        struct Query {
            const GeosContext* g;
            const std::vector<Geom>* polys;
            std::size_t self;
            int count;
            std::vector<const GEOSPreparedGeometry*>* prepared;
        };
        std::vector<const GEOSPreparedGeometry*> prepared(n, nullptr);
        for (std::size_t i = 0; i < n; ++i) {
            Query q{&g, &polys, i, 0, &prepared};
            GEOSSTRtree_query_r(
                g.get(), tree, polys[i].get(),
                [](void* item, void* data) {
                    auto* query = static_cast<Query*>(data);
                    const std::size_t j = reinterpret_cast<std::size_t>(item);
                    if (j == query->self) return;
                    auto& prep = (*query->prepared)[j];
                    if (prep == nullptr) prep = GEOSPrepare_r(query->g->get(), (*query->polys)[j].get());
                    if (GEOSPreparedContains_r(query->g->get(), prep, (*query->polys)[query->self].get()) == 1)
                        ++query->count;
                },
                &q);
            depth[i] = q.count;
        }
        for (const GEOSPreparedGeometry* p : prepared)
            if (p != nullptr) GEOSPreparedGeom_destroy_r(g.get(), p);
        GEOSSTRtree_destroy_r(g.get(), tree);
    }
    std::map<int, std::vector<Geom>> byDepth;
    for (std::size_t i = 0; i < n; ++i) byDepth[depth[i]].push_back(std::move(polys[i]));
    Geom mass = g.empty();
    for (auto& [d, group] : byDepth) {
        Geom layer = g.unionOf(std::move(group));
        if (d % 2 == 0)
            mass = g.own(GEOSUnion_r(g.get(), mass.get(), layer.get()), "union");
        else
            mass = g.own(GEOSDifference_r(g.get(), mass.get(), layer.get()), "difference");
    }
    return mass;
}

// The polygons of a polygonal geometry.
std::vector<const GEOSGeometry*> partsOf(const GeosContext& g, const GEOSGeometry* geom) {
    std::vector<const GEOSGeometry*> out;
    const int type = GEOSGeomTypeId_r(g.get(), geom);
    if (type == GEOS_POLYGON) {
        if (GEOSisEmpty_r(g.get(), geom) == 0) out.push_back(geom);
    } else if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION) {
        const int n = GEOSGetNumGeometries_r(g.get(), geom);
        for (int i = 0; i < n; ++i) {
            const auto more = partsOf(g, GEOSGetGeometryN_r(g.get(), geom, i));
            out.insert(out.end(), more.begin(), more.end());
        }
    }
    return out;
}

// A polygonal geometry with its holes filled: the areas inside the outer
// rings of its polygons.
Geom filledOf(const GeosContext& g, const GEOSGeometry* mass) {
    std::vector<Geom> outers;
    for (const GEOSGeometry* poly : partsOf(g, mass)) {
        Geom h = g.polygon(g.points(GEOSGetExteriorRing_r(g.get(), poly)));
        if (h) outers.push_back(std::move(h));
    }
    return g.unionOf(std::move(outers));
}

// A ring in one form whatever the order GEOS made it in: without repeated
// or exactly collinear vertices, turning the given way, starting at its
// smallest vertex (by x, then y).
Ring canonical(Ring r, bool counterClockwise) {
    Ring clean;
    const std::size_t n = r.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point& a = r[(i + n - 1) % n];
        const Point& b = r[i];
        const Point& c = r[(i + 1) % n];
        if (b.x == a.x && b.y == a.y) continue;
        if ((b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x) == 0.0) continue;
        clean.push_back(b);
    }
    if (clean.size() < 3) clean = r;
    if ((signedArea(clean) > 0.0) != counterClockwise) std::reverse(clean.begin(), clean.end());
    const auto first = std::min_element(clean.begin(), clean.end(), [](const Point& p, const Point& q) {
        return p.x < q.x || (p.x == q.x && p.y < q.y);
    });
    std::rotate(clean.begin(), first, clean.end());
    return clean;
}

bool before(const Ring& a, const Ring& b) {
    return a.front().x < b.front().x || (a.front().x == b.front().x && a.front().y < b.front().y);
}

Ring oriented(Ring r, bool counterClockwise) { return canonical(std::move(r), counterClockwise); }

std::string largestHandle(const std::vector<HandledRing>& rings) {
    const HandledRing* best = nullptr;
    double bestArea = -1.0;
    for (const HandledRing& r : rings) {
        const double a = std::fabs(signedArea(r.points));
        if (a > bestArea) {
            bestArea = a;
            best = &r;
        }
    }
    return best != nullptr ? best->type + " " + best->handle : std::string("?");
}

Plan planOf(const Drawing& d, const std::string& label, const PlanOptions& o) {
    const PlanLayers& L = o.layers;
    Plan plan;
    plan.unit = d.unit;
    plan.unitFromHeader = d.unitFromHeader;
    plan.entities = d.entities;
    plan.vertices = d.vertices;
    LayerChoice walls = L.walls;
    walls.required = true;
    if (walls.name.empty()) throw platform::InputError(label + ": no walls layer named");
    const auto* wallPieces = layerPieces(d, walls, label);
    const auto* obstaclePieces = layerPieces(d, L.obstacles, label);
    const auto* exitPieces = layerPieces(d, L.exits, label);
    const auto* stairPieces = layerPieces(d, L.stairs, label);

    if (exitPieces != nullptr) {
        for (const Piece& p : *exitPieces) {
            if (p.closed)
                refuse(label, L.exits.name,
                       p.type + " " + p.handle +
                           " is closed: an exit is a line (or open polyline) across the doorway");
            const Point a = p.points.front(), b = p.points.back();
            if (std::hypot(a.x - b.x, a.y - b.y) < 1e-6)
                refuse(label, L.exits.name, p.type + " " + p.handle + " has no length");
            plan.exits.push_back({a, b, p.handle});
        }
    }

    GeosContext g;
    const auto wallRings = closeRings(*wallPieces, o.joinTolerance, label, walls.name);
    Geom mass = wallMass(g, polygonsOf(g, wallRings, label, walls.name));
    // Exit lines close the openings they stand in (for what is enclosed).
    std::vector<Geom> closers;
    closers.push_back(g.own(GEOSGeom_clone_r(g.get(), mass.get()), "copy"));
    for (const ExitLine& e : plan.exits) {
        Geom line = g.segment(e.from, e.to);
        closers.push_back(g.own(GEOSBufferWithStyle_r(g.get(), line.get(), o.joinTolerance, 2,
                                                      GEOSBUF_CAP_SQUARE, GEOSBUF_JOIN_MITRE, 2.0),
                                "buffer"));
    }
    Geom closed = g.unionOf(std::move(closers));
    // What the walls enclose: inside their outer boundary (with the exit
    // lines across their doorways), less the walls.
    Geom walkable = g.own(GEOSDifference_r(g.get(), filledOf(g, closed.get()).get(), mass.get()),
                          "difference");
    if (GEOSisEmpty_r(g.get(), walkable.get()) == 1)
        refuse(label, walls.name,
               "the walls (the largest: " + largestHandle(wallRings) +
                   ") enclose no area: an outer wall must close all round (a doorway in it "
                   "closed by an exit line" +
                   (L.exits.name.empty() ? std::string() : " on layer " + L.exits.name) + ")");
    if (obstaclePieces != nullptr) {
        const auto rings = closeRings(*obstaclePieces, o.joinTolerance, label, L.obstacles.name);
        Geom obstacles = unionOfMostlyApart(g, polygonsOf(g, rings, label, L.obstacles.name));
        walkable = g.own(GEOSDifference_r(g.get(), walkable.get(), obstacles.get()), "difference");
    }
    for (const GEOSGeometry* poly : partsOf(g, walkable.get())) {
        double a = 0.0;
        GEOSArea_r(g.get(), poly, &a);
        if (a < kSmallestAreaPiece) continue;
        Area area;
        area.outer = canonical(g.points(GEOSGetExteriorRing_r(g.get(), poly)), true);
        const int n = GEOSGetNumInteriorRings_r(g.get(), poly);
        for (int i = 0; i < n; ++i)
            area.holes.push_back(canonical(g.points(GEOSGetInteriorRingN_r(g.get(), poly, i)), false));
        std::sort(area.holes.begin(), area.holes.end(), before);
        plan.walkable.push_back(std::move(area));
    }
    std::sort(plan.walkable.begin(), plan.walkable.end(),
              [](const Area& x, const Area& y) { return before(x.outer, y.outer); });
    if (plan.walkable.empty())
        refuse(label, walls.name,
               "the walls and obstacles leave no walkable area (the largest wall: " +
                   largestHandle(wallRings) + ")");

    if (stairPieces != nullptr) {
        const auto rings = closeRings(*stairPieces, o.joinTolerance, label, L.stairs.name);
        for (const HandledRing& r : rings) {
            ringPolygon(g, r, label, L.stairs.name);
            plan.stairs.push_back({oriented(r.points, true), r.handle});
        }
    }
    return plan;
}

std::set<std::string> layerSet(const PlanLayers& L) {
    std::set<std::string> s;
    for (const LayerChoice* c : {&L.walls, &L.obstacles, &L.exits, &L.stairs})
        if (!c->name.empty()) s.insert(c->name);
    return s;
}

void checkTolerance(double t, const std::string& label) {
    if (!(t > 0.0 && t <= 1.0))
        throw platform::InputError(label + ": the join tolerance must be in (0, 1] m");
}

// GEOS failures (out of memory, a topology it cannot compute) become input
// errors naming the file.
template <class F>
auto guarded(const std::string& label, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const platform::InputError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw platform::InputError(label + ": " + e.what());
    }
}

}  // namespace

double signedArea(const Ring& r) {
    double s = 0.0;
    const std::size_t n = r.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point& a = r[i];
        const Point& b = r[(i + 1) % n];
        s += (a.x - r[0].x) * (b.y - r[0].y) - (b.x - r[0].x) * (a.y - r[0].y);
    }
    return s / 2.0;
}

double Plan::area() const {
    double s = 0.0;
    for (const Area& a : walkable) {
        s += std::fabs(signedArea(a.outer));
        for (const Ring& h : a.holes) s -= std::fabs(signedArea(h));
    }
    return s;
}

Plan readPlanBytes(const std::string& bytes, const std::string& label, const PlanOptions& o) {
    checkTolerance(o.joinTolerance, label);
    return guarded(label, [&] {
        return planOf(readDrawingBytes(bytes, label, layerSet(o.layers), o.unit), label, o);
    });
}

Plan readPlan(const std::filesystem::path& file, const std::string& label, const PlanOptions& o) {
    checkTolerance(o.joinTolerance, label);
    return guarded(label, [&] {
        return planOf(readDrawing(file, label, layerSet(o.layers), o.unit), label, o);
    });
}

Outline readOutline(const std::filesystem::path& file, const std::string& label,
                    const std::string& layer, std::optional<Unit> unit, double joinTolerance) {
    checkTolerance(joinTolerance, label);
    return guarded(label, [&] {
        const Drawing d = readDrawing(file, label, {layer}, unit);
        const auto* pieces = layerPieces(d, {layer, true}, label);
        GeosContext g;
        const auto rings = closeRings(*pieces, joinTolerance, label, layer);
        Geom all = g.unionOf(polygonsOf(g, rings, label, layer));
        const auto parts = partsOf(g, all.get());
        Outline out;
        out.unit = d.unit;
        out.unitFromHeader = d.unitFromHeader;
        const GEOSGeometry* best = nullptr;
        double bestArea = -1.0;
        for (const GEOSGeometry* p : parts) {
            double a = 0.0;
            GEOSArea_r(g.get(), p, &a);
            if (a > bestArea) {
                bestArea = a;
                best = p;
            }
        }
        if (best == nullptr) refuse(label, layer, "the layer's rings enclose no area");
        out.ring = oriented(g.points(GEOSGetExteriorRing_r(g.get(), best)), true);
        out.area = signedArea(out.ring);
        if (parts.size() > 1)
            out.notes.push_back("layer " + layer + " holds " + std::to_string(parts.size()) +
                                " separate areas; the largest (" +
                                platform::fixedText(out.area, 2) + " m²) is the floor");
        const int holes = GEOSGetNumInteriorRings_r(g.get(), best);
        if (holes > 0)
            out.notes.push_back("the floor's " + std::to_string(holes) +
                                (holes == 1 ? " hole is" : " holes are") +
                                " not part of a KVX floor outline");
        return out;
    });
}

}  // namespace cad
