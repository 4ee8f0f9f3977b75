// Stub until the reader lands: reports that no floor was found.
#include "floorplan/floor_reader.h"

namespace floorplan {

LoadReport FloorMeshReader::loadFloor(OutlineSink& sink) {
    sink.discardOutline();
    LoadReport r;
    r.requestedPath = floorPath;
    r.loadedPath = floorPath;
    r.outcome = LoadOutcome::NoFloor;
    return r;
}

LoadReport FloorMeshReader::setFloorPath(std::string_view path, OutlineSink& sink) {
    floorPath = doubleBackslashes(path);
    return loadFloor(sink);
}

std::string doubleBackslashes(std::string_view path) {
    std::string out;
    for (char c : path) {
        out.push_back(c);
        if (c == '\\') out.push_back('\\');
    }
    return out;
}

float scaleOfFloor(std::string_view path) {
    FloorMeshReader reader;
    OutlineSink none;
    reader.setFloorPath(path, none);
    return reader.scale;
}

}  // namespace floorplan
