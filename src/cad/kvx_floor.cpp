#include "cad/kvx_floor.h"

#include <algorithm>
#include <cstdio>

#include "crowd/floor_outline.h"
#include "platform/input_error.h"
#include "platform/number_text.h"
#include "platform/safe_output.h"

namespace cad {

namespace {

std::string six(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

// A name in a comment line: no line breaks or other control characters.
std::string printable(const std::string& s) {
    std::string out = platform::capped(s, 200);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return out;
}

}  // namespace

std::string kvxFloorText(const Outline& outline, const std::string& source) {
    const Ring& r = outline.ring;
    double minX = r.front().x, maxX = minX, minZ = r.front().y, maxZ = minZ;
    for (const Point& p : r) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minZ = std::min(minZ, p.y);
        maxZ = std::max(maxZ, p.y);
    }
    const char* nl = "\r\n";
    const std::string identity =
        "Transform 1.000000, 0.000000, 0.000000, 0.000000, 1.000000, 0.000000, 0.000000, "
        "0.000000, 1.000000, 0.000000, 0.000000, 0.000000";
    std::string t;
    t.reserve(200 + r.size() * 40);
    t += "KVX TEXT 2.1"; t += nl;
    t += "; Floor outline from " + printable(source) + " (a DXF plan), " +
         std::to_string(r.size()) + " vertices."; t += nl;
    t += "; Units: metres. Floor plane: x-z, y = height; the drawing's y is z here."; t += nl;
    t += "TW_Scene SCN-DxfFloor"; t += nl;
    t += "\tUnits 1.000000"; t += nl;
    t += "\tUpAxis Y"; t += nl;
    t += "\tTW_Node NOD-World"; t += nl;
    t += "\t\t" + identity; t += nl;
    t += "\t\tTW_Node NOD-Floor"; t += nl;
    t += "\t\t\t" + identity; t += nl;
    t += "\t\t\tTW_Mesh MSH-FloorOutline"; t += nl;
    t += "\t\t\t\tMaterial MAT-Concrete"; t += nl;
    t += "\t\t\t\tFlags OUTLINE"; t += nl;
    t += "\t\t\t\tBounds " + six(minX) + ", 0.000000, " + six(minZ) + ", " + six(maxX) +
         ", 0.000000, " + six(maxZ); t += nl;
    t += "\t\t\t\tTW_VertexList"; t += nl;
    t += "\t\t\t\t\t" + std::to_string(r.size()); t += nl;
    t += "\t\t\t\t\t; x, y, z"; t += nl;
    for (const Point& p : r) {
        t += "\t\t\t\t\t" + six(p.x) + ", 0.000000, " + six(p.y);
        t += nl;
    }
    t += "\t\t\t\tTW_PolygonList"; t += nl;
    t += "\t\t\t\t\t1"; t += nl;
    t += "\t\t\t\t\t; vertex count: indices"; t += nl;
    t += "\t\t\t\t\t" + std::to_string(r.size()) + ":";
    for (std::size_t i = 0; i < r.size(); ++i) {
        t += ' ';
        t += std::to_string(i);
    }
    t += nl;
    const double cx = (minX + maxX) / 2.0, cz = (minZ + maxZ) / 2.0;
    const double height = std::max({maxX - minX, maxZ - minZ, 1.0}) * 1.5;
    t += "\tTW_Camera CAM-Top"; t += nl;
    t += "\t\tPosition " + six(cx) + ", " + six(height) + ", " + six(cz); t += nl;
    t += "\t\tLookAt " + six(cx) + ", 0.000000, " + six(cz); t += nl;
    t += "EndScene"; t += nl;
    return t;
}

Outline writeKvxFloor(const std::filesystem::path& dxf, const std::string& layer,
                      std::optional<Unit> unit, const std::filesystem::path& out) {
    const std::string label = platform::capped(dxf.string(), 200);
    Outline o = readOutline(dxf, label, layer, unit);
    if (o.ring.size() > crowd::kMaxFloorVertices)
        throw platform::InputError(
            label + ": layer " + layer + ": the floor's outline has " + std::to_string(o.ring.size()) +
            " vertices (arcs counted as their chords); a floor has at most " +
            std::to_string(crowd::kMaxFloorVertices));
    const std::string problem = platform::writeFileAtomically(out, kvxFloorText(o, dxf.string()));
    if (!problem.empty()) throw platform::OutputError(problem);
    return o;
}

std::string floorSummary(const Outline& o) {
    double minX = o.ring.front().x, maxX = minX, minY = o.ring.front().y, maxY = minY;
    for (const Point& p : o.ring) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    std::string text = std::to_string(o.ring.size());
    text += " vertices, ";
    text += platform::fixedText(maxX - minX, 2);
    text += " m x ";
    text += platform::fixedText(maxY - minY, 2);
    text += " m, ";
    text += platform::fixedText(o.area, 2);
    text += " m², in metres (the drawing's unit ";
    text += unitName(o.unit);
    text += o.unitFromHeader ? ", from its $INSUNITS)" : ", as given)";
    return text;
}

}  // namespace cad
