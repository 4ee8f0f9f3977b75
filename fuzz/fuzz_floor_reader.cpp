// Runs the floor reader on arbitrary file contents: in memory, handed out in
// chunks of a size taken from the input, compared with the plain istringstream
// reader (same mesh found, same count, same outline, same scale); and once
// from a file through loadFloor. It must never crash, hang or grow without
// bound, whatever the bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <array>
#include <cstring>
#include <vector>

#include "floorplan/floor_reader.h"
#include "floorplan/stream_reference.h"

namespace {

struct Collect : floorplan::OutlineSink {
    std::vector<std::array<float, 3>> vertices;
    bool open = false;
    int begins = 0;
    void beginOutline() override {
        ++begins;
        open = true;
        vertices.clear();
    }
    void vertex(float x, float y, float z) override {
        if (!open) std::abort();  // a vertex outside begin/end
        vertices.push_back({x, y, z});
    }
    void endOutline() override {
        if (!open) std::abort();
        open = false;
    }
};

bool sameBits(const std::vector<std::array<float, 3>>& a, const std::vector<std::array<float, 3>>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

void writeBytes(const char* path, const std::string& bytes) {
    if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

}  // namespace

// A scratch start directory (in memory where the system has one) with a small
// basic floor of its own, made current for the whole run.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/dev/shm/fuzz_floor_XXXXXX";
    char fallback[] = "/tmp/fuzz_floor_XXXXXX";
    const char* dir = ::mkdtemp(name);
    if (dir == nullptr) dir = ::mkdtemp(fallback);
    if (dir == nullptr || ::chdir(dir) != 0) std::abort();
    static std::string scratch = dir;
    std::atexit([] {
        std::remove("input.kvx");
        std::remove("unchanged/floor.kvx");
        std::remove("unchanged");
        std::remove(scratch.c_str());
    });
    ::mkdir("unchanged", 0777);
    writeBytes("unchanged/floor.kvx",
               "KVX TEXT 2.1\n\t\t\tTW_Mesh MSH-Basic\n\n\n\n\n\t\t\t\t\t2\n\n\t\t\t\t\t1, 0, 1\n\t\t\t\t\t2, 0, 2\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t chunk = size == 0 ? 0 : 1 + data[size - 1] % 23;

    Collect sink;
    float scale = 0.0f;
    floorplan::MemoryByteSource in(text, chunk);
    const floorplan::MeshRead got = floorplan::readFloorMesh(in, sink, scale);
    const streamref::Result want = streamref::read(text);

    const bool outline = got.status == floorplan::MeshStatus::Outline;
    if ((got.status != floorplan::MeshStatus::NoMeshLine) != want.found || got.count != want.count ||
        outline != want.outline || got.emitted != sink.vertices.size() || sink.open ||
        sink.begins != (outline ? 1 : 0) || (outline && !sameBits(sink.vertices, want.vertices)) ||
        !(scale == want.scale) || got.emitted > size) {
        std::fprintf(stderr, "mismatch: found %d/%d count %d/%d vertices %zu/%zu scale %g/%g\n",
                     got.status != floorplan::MeshStatus::NoMeshLine, want.found, got.count, want.count,
                     sink.vertices.size(), want.vertices.size(), static_cast<double>(scale),
                     static_cast<double>(want.scale));
        std::abort();
    }

    // The whole load, from a file.
    {
        writeBytes("input.kvx", text);
        floorplan::FloorMeshReader reader;
        reader.floorPath = "input.kvx";
        Collect loaded;
        const floorplan::LoadReport r = reader.loadFloor(loaded);
        if (r.outcome == floorplan::LoadOutcome::Loaded &&
            (!outline || !sameBits(loaded.vertices, want.vertices) || r.vertexCount != want.vertices.size())) {
            std::abort();
        }
        if (r.outcome != floorplan::LoadOutcome::Loaded && outline) std::abort();
    }
    return 0;
}
