// The floor mesh reader.
//
// Layout read, counted from the mesh line (the first line whose first 15
// characters are three tabs and "TW_Mesh MSH-"):
//   lines 1 to 4       skipped whole
//   line 5             five characters of prefix, the vertex count N, rest skipped
//   line 6             skipped whole
//   lines 7 to 6 + N   five characters of prefix, x, up to and including a comma,
//                      y, up to and including a comma, z, rest skipped
//
// Reading follows a formatted byte stream: a line ends at a line feed (a
// carriage return before it is part of the line), numbers are read like
// `stream >> value`, and once a read fails or meets the end of the file every
// later read of the same load fails too and leaves its value as it was.
#include "floorplan/floor_reader.h"

#include <cmath>
#include <cstring>

#include "floorplan/number_reader.h"
#include "platform/platform.h"

namespace floorplan {

namespace {

constexpr char kMeshPrefix[] = "\t\t\tTW_Mesh MSH-";
constexpr std::size_t kMeshPrefixLength = sizeof kMeshPrefix - 1;  // 15
// Inside a vertex line each skip (to a comma, to the line end) takes at most
// this many characters before its delimiter; a longer stretch fails the read.
constexpr std::size_t kVertexSkipLimit = 255;
// Characters of prefix before the vertex count and before each vertex.
constexpr int kPrefixLength = 5;

class MeshLineReader {
public:
    explicit MeshLineReader(ByteSource& in) : in_(in) {}

    // The stream can still deliver: no read has failed or met the end.
    bool good() const { return good_ && !in_.hitEnd(); }

    // Reads line by line until a mesh line has been read whole. A line is
    // compared only when its line feed was found; lines of any length are read.
    bool findMeshLine() {
        while (good()) {
            char head[kMeshPrefixLength];
            std::size_t n = 0;
            while (n < kMeshPrefixLength) {
                const int c = in_.peek();
                if (c < 0 || c == '\n') break;
                head[n++] = static_cast<char>(c);
                in_.bump();
            }
            if (!skipLine()) return false;
            if (n == kMeshPrefixLength && std::memcmp(head, kMeshPrefix, kMeshPrefixLength) == 0) {
                return true;
            }
        }
        return false;
    }

    // Consumes everything up to and including the next line feed.
    bool skipLine() {
        if (!good()) return false;
        for (;;) {
            if (in_.peek() < 0) return false;
            const unsigned char* p = in_.cur();
            const unsigned char* e = in_.end();
            const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(e - p));
            if (lf != nullptr) {
                in_.advanceTo(static_cast<const unsigned char*>(lf) + 1);
                return true;
            }
            in_.advanceTo(e);
        }
    }

    // Consumes up to and including the next `delimiter`, taking at most
    // `limit` other characters before it; more fails the read.
    void skipTo(unsigned char delimiter, std::size_t limit) {
        if (!good()) return;
        std::size_t left = limit;
        for (;;) {
            if (in_.peek() < 0) return;
            const unsigned char* p = in_.cur();
            const std::size_t avail = static_cast<std::size_t>(in_.end() - p);
            const std::size_t span = avail < left + 1 ? avail : left + 1;
            const void* hit = std::memchr(p, delimiter, span);
            if (hit != nullptr) {
                in_.advanceTo(static_cast<const unsigned char*>(hit) + 1);
                return;
            }
            if (avail > left) {  // `left` characters taken and the next one is no delimiter
                good_ = false;
                return;
            }
            in_.advanceTo(p + avail);
            left -= avail;
        }
    }

    // Consumes the next n characters, whatever they are.
    void consume(int n) {
        for (int i = 0; i < n && good(); ++i) {
            if (in_.peek() < 0) return;
            in_.bump();
        }
    }

    // `stream >> value`: on failure the value keeps what it held.
    void read(float& value) {
        if (!good()) return;
        if (!skipStreamWhitespace(in_)) {
            good_ = false;
            return;
        }
        const NumberScan<float> r = scanFloat(in_);
        if (r.ok) {
            value = r.value;
        } else {
            good_ = false;
        }
    }

    bool read(int& value) {
        if (!good()) return false;
        if (!skipStreamWhitespace(in_)) {
            good_ = false;
            return false;
        }
        const NumberScan<int> r = scanInt(in_);
        if (r.ok) {
            value = r.value;
        } else {
            good_ = false;
        }
        return r.ok;
    }

    void readVertex(float& x, float& y, float& z) {
        consume(kPrefixLength);
        read(x);
        skipTo(',', kVertexSkipLimit);
        read(y);
        skipTo(',', kVertexSkipLimit);
        read(z);
        skipTo('\n', kVertexSkipLimit);
    }

private:
    ByteSource& in_;
    bool good_ = true;
};

void fold(float value, float& scale) {
    const float a = std::fabs(value);
    if (a > scale) scale = a;
}

void foldVertex(float x, float y, float z, float& scale) {
    fold(x, scale);
    fold(y, scale);
    fold(z, scale);
}

// One load of one file: steps 1 to 8, without the fallback.
struct Attempt {
    bool opened = false;
    std::string openProblem;
    bool readError = false;
    MeshRead mesh;
};

Attempt loadOnce(const std::string& path, OutlineSink& sink, float& scale) {
    sink.discardOutline();
    Attempt a;
    FileByteSource file(platform::nativePath(path));
    if (!file.isOpen()) {
        a.openProblem = file.openProblem();
        return a;
    }
    a.opened = true;
    a.mesh = readFloorMesh(file, sink, scale);
    a.readError = file.readError();
    return a;
}

std::string whyNotUsed(const Attempt& a, const std::string& path) {
    if (!a.opened) {
        // A missing file is the common case and needs no more words.
        if (a.openProblem.empty() || a.openProblem == "does not exist") return "cannot open " + path;
        return "cannot open " + path + ": it " + a.openProblem;
    }
    switch (a.mesh.status) {
        case MeshStatus::Outline:
            return {};
        case MeshStatus::NoMeshLine:
            if (a.readError) return "cannot read " + path;
            return "no mesh line (three tabs, TW_Mesh MSH-) in " + path;
        case MeshStatus::CountNotPositive:
            if (!a.mesh.countRead) return "no readable vertex count in " + path;
            return "vertex count " + std::to_string(a.mesh.count) + " in " + path;
    }
    return {};
}

}  // namespace

MeshRead readFloorMesh(ByteSource& in, OutlineSink& sink, float& scale) {
    MeshRead out;
    MeshLineReader r(in);
    if (!r.findMeshLine()) return out;

    for (int i = 0; i < 4; ++i) r.skipLine();
    r.consume(kPrefixLength);
    int count = 0;
    out.countRead = r.read(count);
    out.count = count;
    r.skipLine();
    r.skipLine();

    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    r.readVertex(x, y, z);
    foldVertex(x, y, z, scale);
    if (count <= 0) {
        out.status = MeshStatus::CountNotPositive;
        return out;
    }

    out.status = MeshStatus::Outline;
    sink.beginOutline();
    sink.vertex(x, y, z);
    out.emitted = 1;
    // Once a read has failed (or met the end of the file), every later vertex
    // would only repeat the last coordinates: nothing more for the loop or the
    // scale, so the loop closes here instead of repeating them up to the count.
    for (int i = 1; i < count && r.good(); ++i) {
        r.readVertex(x, y, z);
        sink.vertex(x, y, z);
        foldVertex(x, y, z, scale);
        ++out.emitted;
    }
    sink.endOutline();
    return out;
}

LoadReport FloorMeshReader::loadFloor(OutlineSink& sink) {
    LoadReport report;
    report.requestedPath = floorPath;

    const Attempt first = loadOnce(floorPath, sink, scale);
    if (first.mesh.status == MeshStatus::Outline) {
        report.outcome = LoadOutcome::Loaded;
        report.loadedPath = floorPath;
        report.vertexCount = first.mesh.emitted;
        return report;
    }
    report.reason = whyNotUsed(first, floorPath);

    // The basic floor in its place, once: when it has no usable mesh either,
    // no outline is shown.
    floorPath = kBasicFloorPath;
    const Attempt basic = loadOnce(floorPath, sink, scale);
    report.loadedPath = floorPath;
    if (basic.mesh.status == MeshStatus::Outline) {
        report.outcome = LoadOutcome::FellBack;
        report.vertexCount = basic.mesh.emitted;
    } else {
        report.outcome = LoadOutcome::NoFloor;
        report.reason += "; basic floor: " + whyNotUsed(basic, floorPath);
    }
    return report;
}

LoadReport FloorMeshReader::setFloorPath(std::string_view path, OutlineSink& sink) {
    floorPath = doubleBackslashes(path);
    return loadFloor(sink);
}

std::string doubleBackslashes(std::string_view path) {
    // Byte by byte is character by character here: in UTF-8 a backslash byte
    // never stands inside a multi-byte character.
    std::string out;
    out.reserve(path.size() + 8);
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
