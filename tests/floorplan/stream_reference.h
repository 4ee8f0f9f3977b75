#pragma once
// A second, deliberately plain floor reader built on std::istringstream, used
// as the oracle that the fast reader is compared against (unit tests and the
// fuzz target). It follows the reading rules step by step with the standard
// stream operations: getline into a string for the search and the whole-line
// skips, ignore(5) for a prefix, `>>` for the numbers (into temporaries, so a
// failed read leaves the value as it was), getline into a 256-character buffer
// for the skips of a vertex line (at most 255 characters before the delimiter).
// Like the fast reader it closes the loop at the first failed read instead of
// repeating the last vertex up to the count.

#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace streamref {

struct Result {
    bool found = false;   // a mesh line was found
    int count = 0;        // the vertex count (0 when unreadable)
    bool outline = false;  // count >= 1
    std::vector<std::array<float, 3>> vertices;  // emitted when outline
    float scale = 0.0f;
};

inline void fold(float v, float& scale) {
    if (std::fabs(v) > scale) scale = std::fabs(v);
}

template <class T>
void readInto(std::istream& in, T& value) {
    T t{};
    if (in >> t) value = t;
}

inline void readVertex(std::istream& in, float& x, float& y, float& z) {
    char buf[256];
    in.ignore(5);
    readInto(in, x);
    in.getline(buf, 256, ',');
    readInto(in, y);
    in.getline(buf, 256, ',');
    readInto(in, z);
    in.getline(buf, 256);
}

inline Result read(const std::string& bytes, float scale = 0.0f) {
    Result r;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // last line without a line feed: not compared
        if (line.size() >= 15 && line.compare(0, 15, "\t\t\tTW_Mesh MSH-") == 0) {
            r.found = true;
            break;
        }
    }
    if (!r.found) {
        r.scale = scale;
        return r;
    }
    for (int i = 0; i < 4; ++i) std::getline(in, line);
    in.ignore(5);
    readInto(in, r.count);
    std::getline(in, line);
    std::getline(in, line);
    float x = 0, y = 0, z = 0;
    readVertex(in, x, y, z);
    fold(x, scale);
    fold(y, scale);
    fold(z, scale);
    if (r.count > 0) {
        r.outline = true;
        r.vertices.push_back({x, y, z});
        for (int i = 1; i < r.count && in.good(); ++i) {
            readVertex(in, x, y, z);
            r.vertices.push_back({x, y, z});
            fold(x, scale);
            fold(y, scale);
            fold(z, scale);
        }
    }
    r.scale = scale;
    return r;
}

}  // namespace streamref
