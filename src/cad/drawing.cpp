#include "cad/drawing.h"

#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "platform/input_error.h"
#include "platform/safe_input.h"

namespace cad {

namespace {

[[noreturn]] void refuse(const std::string& label, const std::string& what) {
    throw platform::InputError(label + ": " + what);
}

std::string hexHandle(int handle) {
    if (handle < 0) return "(no handle)";
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(handle));
    return text;
}

struct Vertex {
    double x = 0.0;
    double y = 0.0;
    double bulge = 0.0;
};

// An entity as dxflib hands it over, in the coordinates of its block (or of
// the drawing), before anything is placed or approximated.
struct Raw {
    enum class Kind { Line, Arc, Circle, Polyline, Insert, Other } kind = Kind::Other;
    std::string type;
    std::string layer;
    std::string handle;
    std::vector<Vertex> vertices;  // Line: 2; Polyline: all
    bool closed = false;
    double cx = 0.0, cy = 0.0, radius = 0.0, angle1 = 0.0, angle2 = 0.0;  // Arc, Circle
    // Insert
    std::string block;
    double sx = 1.0, sy = 1.0, rotation = 0.0;
    int cols = 1, rows = 1;
    double colSpacing = 0.0, rowSpacing = 0.0;
};

struct Block {
    double baseX = 0.0, baseY = 0.0;
    std::vector<Raw> entities;
};

// Counts in the group pairs that dxflib turns into arrays of that size
// (LWPOLYLINE 90, SPLINE 72 to 74, LEADER 76): a count larger than the
// file's lines (or than kMaxVertices) is refused before dxflib would
// allocate for it.
void checkCounts(const std::string& bytes, const std::string& label) {
    const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    const std::size_t limit = std::min(lines, kMaxVertices);
    std::size_t pos = 0;
    std::size_t lineNo = 0;
    auto nextLine = [&](std::string& out) {
        if (pos >= bytes.size()) return false;
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        out.assign(bytes, pos, std::min<std::size_t>(end - pos, 64));
        pos = end + 1;
        ++lineNo;
        return true;
    };
    auto trimmed = [](std::string s) {
        const std::size_t a = s.find_first_not_of(" \t\r");
        const std::size_t b = s.find_last_not_of(" \t\r");
        return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    };
    std::string code, value, entity;
    while (nextLine(code) && nextLine(value)) {
        char* stop = nullptr;
        const long c = std::strtol(code.c_str(), &stop, 10);
        if (stop == code.c_str()) continue;
        if (c == 0) {
            entity = trimmed(value);
            continue;
        }
        const bool counted = (entity == "LWPOLYLINE" && c == 90) ||
                             (entity == "SPLINE" && c >= 72 && c <= 74) ||
                             (entity == "LEADER" && c == 76);
        if (!counted) continue;
        const double v = std::strtod(value.c_str(), nullptr);
        if (v > static_cast<double>(limit))
            refuse(label, "line " + std::to_string(lineNo) + ": " + entity + " gives a count of " +
                              trimmed(value).substr(0, 20) + " (group code " + std::to_string(c) +
                              "), more than the drawing can hold");
    }
}

class Collector : public DL_CreationAdapter {
  public:
    std::set<std::string> layerTable;
    std::vector<Raw> model;
    std::map<std::string, Block> blocks;
    std::optional<int> insunits;
    std::size_t rawCount = 0;
    std::string label;

    void setVariableInt(const std::string& key, int value, int) override {
        if (key == "$INSUNITS") insunits = value;
    }
    void addLayer(const DL_LayerData& d) override { layerTable.insert(d.name); }

    void addBlock(const DL_BlockData& d) override {
        flush();
        inBlock_ = true;
        blockName_ = d.name;
        Block& b = blocks[d.name];
        b.baseX = d.bpx;
        b.baseY = d.bpy;
        b.entities.clear();
    }
    void endBlock() override {
        flush();
        inBlock_ = false;
    }

    void addLine(const DL_LineData& d) override {
        Raw r = start(Raw::Kind::Line, "LINE");
        r.vertices = {{d.x1, d.y1, 0.0}, {d.x2, d.y2, 0.0}};
        keep(std::move(r));
    }
    void addArc(const DL_ArcData& d) override {
        Raw r = start(Raw::Kind::Arc, "ARC");
        r.cx = d.cx;
        r.cy = d.cy;
        r.radius = d.radius;
        r.angle1 = d.angle1;
        r.angle2 = d.angle2;
        keep(std::move(r));
    }
    void addCircle(const DL_CircleData& d) override {
        Raw r = start(Raw::Kind::Circle, "CIRCLE");
        r.cx = d.cx;
        r.cy = d.cy;
        r.radius = d.radius;
        r.closed = true;
        keep(std::move(r));
    }
    void addPolyline(const DL_PolylineData& d) override {
        // A POLYLINE's type is only known from its flags: 8 a 3-D polyline,
        // 16 a polygon mesh, 64 a polyface mesh.
        Raw r = start(Raw::Kind::Polyline, lwpolyline_ ? "LWPOLYLINE" : "POLYLINE");
        if (d.flags & (8 | 16 | 64)) {
            r.kind = Raw::Kind::Other;
            r.type = (d.flags & 8) ? "3-D POLYLINE" : "POLYLINE MESH";
        }
        r.closed = (d.flags & 1) != 0;
        pending_ = std::move(r);
    }
    void addVertex(const DL_VertexData& d) override {
        if (!pending_) return;
        if (pending_->vertices.size() >= kMaxVertices)
            refuse(label, "entity " + pending_->handle + " has more than " +
                              std::to_string(kMaxVertices) + " vertices");
        pending_->vertices.push_back({d.x, d.y, d.bulge});
    }
    void addInsert(const DL_InsertData& d) override {
        Raw r = start(Raw::Kind::Insert, "INSERT");
        r.block = d.name;
        r.vertices = {{d.ipx, d.ipy, 0.0}};
        r.sx = d.sx;
        r.sy = d.sy;
        r.rotation = d.angle;
        r.cols = std::max(1, d.cols);
        r.rows = std::max(1, d.rows);
        r.colSpacing = d.colSp;
        r.rowSpacing = d.rowSp;
        keep(std::move(r));
    }
    void addEllipse(const DL_EllipseData&) override { other("ELLIPSE"); }
    void addSpline(const DL_SplineData&) override { other("SPLINE"); }
    void addHatch(const DL_HatchData&) override { other("HATCH"); }
    void addSolid(const DL_SolidData&) override { other("SOLID"); }
    void addTrace(const DL_TraceData&) override { other("TRACE"); }
    void add3dFace(const DL_3dFaceData&) override { other("3DFACE"); }
    void addXLine(const DL_XLineData&) override { other("XLINE"); }
    void addRay(const DL_RayData&) override { other("RAY"); }

    void endEntity() override { flush(); }
    void endSequence() override { flush(); }

    // dxflib names LWPOLYLINE and POLYLINE alike; the entity's type code
    // (group 0) tells them apart. dxflib hands over an entity when the next
    // one's group 0 has been read, so the type is the one before the last.
    void processCodeValuePair(unsigned int code, const std::string& value) override {
        if (code == 0) {
            lwpolyline_ = current_ == "LWPOLYLINE";
            current_ = value.substr(0, 32);
        }
    }

    void finish() { flush(); }

  private:
    Raw start(Raw::Kind kind, const char* type) {
        flush();
        Raw r;
        r.kind = kind;
        r.type = type;
        const DL_Attributes a = getAttributes();
        r.layer = a.getLayer();
        if (r.layer != lastLayer_) {
            layerTable.insert(r.layer);
            lastLayer_ = r.layer;
        }
        r.handle = hexHandle(a.getHandle());
        paper_ = a.isInPaperSpace();
        return r;
    }
    void other(const char* type) { keep(start(Raw::Kind::Other, type)); }
    void keep(Raw r) {
        if (++rawCount > kMaxEntities)
            refuse(label, "more than " + std::to_string(kMaxEntities) + " entities");
        if (inBlock_) {
            blocks[blockName_].entities.push_back(std::move(r));
        } else if (!paper_) {
            model.push_back(std::move(r));
        }
    }
    void flush() {
        if (!pending_) return;
        Raw r = std::move(*pending_);
        pending_.reset();
        keep(std::move(r));
    }

    bool inBlock_ = false;
    bool paper_ = false;
    bool lwpolyline_ = false;
    std::string current_;
    std::string lastLayer_;
    std::string blockName_;
    std::optional<Raw> pending_;
};

// x' = a x + b y + e, y' = c x + d y + f
struct Affine {
    double a = 1.0, b = 0.0, c = 0.0, d = 1.0, e = 0.0, f = 0.0;
    Point apply(double x, double y) const { return {a * x + b * y + e, c * x + d * y + f}; }
    Affine then(const Affine& o) const {  // o after this
        return {o.a * a + o.b * c, o.a * b + o.b * d, o.c * a + o.d * c,
                o.c * b + o.d * d, o.a * e + o.b * f + o.e, o.c * e + o.d * f + o.f};
    }
    double largestScale() const {
        return std::max(std::hypot(a, c), std::hypot(b, d));
    }
};

class Expander {
  public:
    Expander(const Collector& c, const std::set<std::string>& layers, double metresPerUnit,
             const std::string& label, Drawing& out)
        : c_(c), layers_(layers), scale_(metresPerUnit), label_(label), out_(out) {}

    void run() {
        Affine toMetres{scale_, 0.0, 0.0, scale_, 0.0, 0.0};
        for (const Raw& r : c_.model) place(r, toMetres, "", "", 0);
    }

  private:
    void place(const Raw& r, const Affine& t, const std::string& insertLayer,
               const std::string& handlePrefix, int depth) {
        const std::string layer = (!insertLayer.empty() && r.layer == "0") ? insertLayer : r.layer;
        const std::string handle = handlePrefix.empty() ? r.handle : handlePrefix + "/" + r.handle;
        if (++out_.entities > kMaxEntities)
            refuse(label_, "more than " + std::to_string(kMaxEntities) +
                               " entities once its blocks are placed");
        if (r.kind == Raw::Kind::Insert) {
            insert(r, t, layer, handle, depth);
            return;
        }
        if (!layers_.count(layer)) return;
        if (r.kind == Raw::Kind::Other) {
            out_.skipped[layer].push_back(r.type + " " + handle);
            return;
        }
        Piece p;
        p.type = r.type;
        p.handle = handle;
        p.closed = r.closed;
        // Chords are made in the entity's own coordinates, with the error
        // scaled back to them.
        const double local = kChordErrorMetres / std::max(t.largestScale(), 1e-300);
        std::vector<Point> pts;
        switch (r.kind) {
            case Raw::Kind::Line:
                pts = {{r.vertices[0].x, r.vertices[0].y}, {r.vertices[1].x, r.vertices[1].y}};
                break;
            case Raw::Kind::Arc: {
                // Counter-clockwise from angle1 to angle2, in (0, 360].
                double sweep = std::fmod(r.angle2 - r.angle1, 360.0);
                if (sweep <= 0.0) sweep += 360.0;
                if (!std::isfinite(sweep) || sweep > 360.0) sweep = 360.0;
                arc(r, r.cx, r.cy, r.radius, r.angle1 * std::numbers::pi / 180.0,
                    sweep * std::numbers::pi / 180.0, local, true, pts);
                break;
            }
            case Raw::Kind::Circle:
                arc(r, r.cx, r.cy, r.radius, 0.0, 2.0 * std::numbers::pi, local, false, pts);
                break;
            case Raw::Kind::Polyline:
                polyline(r, local, pts);
                break;
            default:
                break;
        }
        // A polyline of fewer than two vertices draws nothing.
        if (pts.size() < 2) return;
        p.points.reserve(pts.size());
        for (const Point& q : pts) {
            const Point m = t.apply(q.x, q.y);
            if (!(std::fabs(m.x) <= kMaxCoordinateMetres && std::fabs(m.y) <= kMaxCoordinateMetres))
                refuse(label_, "layer " + layer + ": " + r.type + " " + handle +
                                   " lies beyond 100 km from the origin (or has a coordinate "
                                   "that is not a number)");
            p.points.push_back(m);
        }
        out_.vertices += p.points.size();
        if (out_.vertices > kMaxVertices)
            refuse(label_, "more than " + std::to_string(kMaxVertices) +
                               " vertices once arcs are split into chords");
        out_.pieces[layer].push_back(std::move(p));
    }

    void insert(const Raw& r, const Affine& t, const std::string& layer,
                const std::string& handle, int depth) {
        if (depth >= kMaxBlockDepth)
            refuse(label_, "INSERT " + handle + " places block " + r.block + " more than " +
                               std::to_string(kMaxBlockDepth) +
                               " blocks deep (a block that places itself?)");
        const auto found = c_.blocks.find(r.block);
        if (found == c_.blocks.end())
            refuse(label_, "layer " + layer + ": INSERT " + handle + " places block '" + r.block +
                               "', which the drawing does not define");
        const Block& b = found->second;
        const double cs = std::cos(r.rotation * std::numbers::pi / 180.0);
        const double sn = std::sin(r.rotation * std::numbers::pi / 180.0);
        if (static_cast<double>(r.cols) * r.rows > static_cast<double>(kMaxEntities))
            refuse(label_, "INSERT " + handle + " places an array of more than " +
                               std::to_string(kMaxEntities) + " blocks");
        for (int row = 0; row < r.rows; ++row) {
            for (int col = 0; col < r.cols; ++col) {
                // Block point -> minus base, scaled, rotated, moved to the
                // insertion point (array steps in the rotated frame).
                const double ox = col * r.colSpacing;
                const double oy = row * r.rowSpacing;
                Affine local;
                local.a = cs * r.sx;
                local.b = -sn * r.sy;
                local.c = sn * r.sx;
                local.d = cs * r.sy;
                const double px = r.vertices[0].x + cs * ox - sn * oy;
                const double py = r.vertices[0].y + sn * ox + cs * oy;
                local.e = px - (local.a * b.baseX + local.b * b.baseY);
                local.f = py - (local.c * b.baseX + local.d * b.baseY);
                const Affine whole = local.then(t);
                for (const Raw& e : b.entities) place(e, whole, layer, handle, depth + 1);
            }
        }
    }

    // Chords of an arc from angle `from` over `sweep` (radians,
    // counter-clockwise; negative: clockwise), end points included; a full
    // circle without its repeated first point.
    void arc(const Raw& r, double cx, double cy, double radius, double from, double sweep,
             double error, bool withEnd, std::vector<Point>& out) {
        if (!(radius > 0.0) || !std::isfinite(radius))
            refuse(label_, r.type + " " + r.handle + " has a radius that is not positive");
        double step = 2.0 * std::acos(std::max(-1.0, 1.0 - error / radius));
        if (!(step > 0.0)) step = 2.0 * std::numbers::pi;
        step = std::min(step, 2.0 * std::numbers::pi / 8.0);
        step = std::max(step, 2.0 * std::numbers::pi / 4096.0);
        const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / step - 1e-9)));
        const int count = withEnd ? n + 1 : n;
        for (int i = 0; i < count; ++i) {
            const double a = from + sweep * i / n;
            out.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
        }
    }

    // A polyline's vertices with each bulge replaced by the chords of its
    // arc. The bulge is tan(angle / 4) of the arc to the next vertex,
    // positive counter-clockwise.
    void polyline(const Raw& r, double error, std::vector<Point>& out) {
        const std::size_t n = r.vertices.size();
        for (std::size_t i = 0; i < n; ++i) {
            const Vertex& v = r.vertices[i];
            out.push_back({v.x, v.y});
            const bool last = i + 1 == n;
            if (last && !r.closed) break;
            const Vertex& w = r.vertices[last ? 0 : i + 1];
            if (v.bulge == 0.0 || !std::isfinite(v.bulge)) continue;
            const double dx = w.x - v.x, dy = w.y - v.y;
            const double chord = std::hypot(dx, dy);
            if (!(chord > 0.0)) continue;
            const double theta = 4.0 * std::atan(v.bulge);  // included angle, signed
            const double radius = chord / (2.0 * std::sin(std::fabs(theta) / 2.0));
            // The centre lies off the chord's midpoint, to the left for a
            // counter-clockwise arc of less than half a turn.
            const double mx = (v.x + w.x) / 2.0, my = (v.y + w.y) / 2.0;
            const double h = radius * std::cos(theta / 2.0) * (theta > 0 ? 1.0 : -1.0);
            const double cx = mx - h * dy / chord, cy = my + h * dx / chord;
            const double start = std::atan2(v.y - cy, v.x - cx);
            std::vector<Point> arcPoints;
            arc(r, cx, cy, radius, start, theta, error, true, arcPoints);
            // Inner points only: the ends are the two vertices.
            for (std::size_t k = 1; k + 1 < arcPoints.size(); ++k) out.push_back(arcPoints[k]);
        }
    }

    const Collector& c_;
    const std::set<std::string>& layers_;
    double scale_;
    const std::string& label_;
    Drawing& out_;
};

}  // namespace

Drawing readDrawingBytes(const std::string& bytes, const std::string& label,
                         const std::set<std::string>& layers, std::optional<Unit> unit) {
    checkCounts(bytes, label);
    Collector c;
    c.label = label;
    std::istringstream in(bytes);
    DL_Dxf dxf;
    try {
        dxf.in(in, &c);
    } catch (const platform::InputError&) {
        throw;
    } catch (const std::exception& e) {
        refuse(label, std::string("is not a readable DXF drawing (") + e.what() + ")");
    }
    c.finish();
    Drawing out;
    out.layerTable = c.layerTable;
    if (unit) {
        out.unit = *unit;
    } else if (!c.insunits) {
        refuse(label, "its header states no unit ($INSUNITS): give the unit (" + unitChoices() +
                          ")");
    } else if (const auto u = unitFromInsunits(*c.insunits)) {
        out.unit = *u;
        out.unitFromHeader = true;
    } else {
        refuse(label, "its header's unit $INSUNITS " + std::to_string(*c.insunits) +
                          (*c.insunits == 0 ? " (unitless)" : "") +
                          " is not one this reader takes: give the unit (" + unitChoices() +
                          ")");
    }
    Expander(c, layers, metresPer(out.unit), label, out).run();
    return out;
}

Drawing readDrawing(const std::filesystem::path& file, const std::string& label,
                    const std::set<std::string>& layers, std::optional<Unit> unit) {
    std::string bytes;
    try {
        bytes = platform::readRegularFile(file, kMaxDxfBytes);
    } catch (const platform::InputError& e) {
        throw platform::InputError(e.what());
    }
    return readDrawingBytes(bytes, label, layers, unit);
}

}  // namespace cad
