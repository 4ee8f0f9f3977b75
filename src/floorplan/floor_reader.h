#pragma once
// The floor mesh reader: finds the first mesh block of a KVX text floor, hands
// its vertices to a sink (the view compiles them into a display list) and
// folds every coordinate into the floor's scale. Free of Qt and OpenGL.

#include <cstddef>
#include <string>
#include <string_view>

#include "floorplan/byte_source.h"

namespace floorplan {

// The basic floor beside the tool: one backslash, 19 characters.
inline constexpr const char* kBasicFloorPath = "unchanged\\floor.kvx";

// Receives the outline of one load. The view realises these with the OpenGL
// display-list calls; a scale-only reader uses the do-nothing defaults.
class OutlineSink {
public:
    virtual ~OutlineSink() = default;
    // Step 1 of every load: drop the previously compiled outline, if any.
    virtual void discardOutline() {}
    // A mesh with at least one vertex was found: start a new closed line loop.
    virtual void beginOutline() {}
    // One vertex, exactly as read (no swap, no change of sign).
    virtual void vertex(float x, float y, float z) {
        (void)x;
        (void)y;
        (void)z;
    }
    // The loop is complete.
    virtual void endOutline() {}
};

enum class LoadOutcome {
    Loaded,    // the named file held a usable mesh
    FellBack,  // it did not; the basic floor was loaded in its place
    NoFloor,   // neither the named file nor the basic floor held a usable mesh
};

struct LoadReport {
    LoadOutcome outcome = LoadOutcome::NoFloor;
    std::string requestedPath;  // floorPath at the start of the load
    std::string loadedPath;     // floorPath at the end (the basic floor after a fallback)
    std::size_t vertexCount = 0;  // vertices handed to the sink for the outline on show
    std::string reason;         // why the requested file was not used; empty when Loaded
};

// Holds the two members of the floor plan view that the reader uses (the
// path and the scale) and performs loadFloor / setFloorPath on them.
class FloorMeshReader {
public:
    std::string floorPath = kBasicFloorPath;
    float scale = 0.0f;

    // Reads floorPath, folds its coordinates into scale (never lowering it),
    // hands the outline to the sink, and falls back to the basic floor once
    // when no usable mesh is found.
    LoadReport loadFloor(OutlineSink& sink);

    // Doubles every backslash of `path`, stores it in floorPath, then loads.
    LoadReport setFloorPath(std::string_view path, OutlineSink& sink);
};

// What one pass over a floor's bytes found.
enum class MeshStatus {
    Outline,           // a mesh with a vertex count of at least 1: the sink got the outline
    NoMeshLine,        // no line starting with three tabs and "TW_Mesh MSH-" before the end
    CountNotPositive,  // the vertex count was 0, negative or not a readable int
};

struct MeshRead {
    MeshStatus status = MeshStatus::NoMeshLine;
    bool countRead = false;   // the vertex count line held a readable int
    int count = 0;            // that int; 0 when it could not be read
    std::size_t emitted = 0;  // vertices handed to the sink
};

// One forward pass over the bytes of a floor scene file: finds the first mesh
// line, reads the vertex count and the vertex lines, folds every coordinate
// read into `scale` and hands the outline to the sink (beginOutline, the
// vertices, endOutline) when the count is at least 1. No fallback, and no
// discardOutline: that is loadFloor's part.
MeshRead readFloorMesh(ByteSource& in, OutlineSink& sink, float& scale);

// Doubles every backslash, by characters.
std::string doubleBackslashes(std::string_view path);

// The scale a fresh view would find for `path` (scale starting at 0, with the
// fallback to the basic floor), without drawing anything. Used by escape-build.
float scaleOfFloor(std::string_view path);

}  // namespace floorplan
