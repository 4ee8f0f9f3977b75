// Throughput of the floor reader on a large generated floor, beside a plain
// loop of formatted stream extraction over the same file (`>>` into floats,
// `ignore` for the skips), measured in one run. Times are the process's CPU
// time (user and system), so that other work on the machine disturbs the
// figures less than it would wall-clock time; each side's best of the rounds.
//
//   floor_reader_bench [--vertices N] [--rounds R] [--dir D] [--only reader|stream]
#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "floorplan/floor_reader.h"

namespace {

struct CountingSink : floorplan::OutlineSink {
    std::size_t count = 0;
    double sum = 0;
    void vertex(float x, float y, float z) override {
        ++count;
        sum += static_cast<double>(x) + static_cast<double>(y) + static_cast<double>(z);
    }
};

std::uintmax_t writeFloor(const std::filesystem::path& file, int vertices) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) {
        std::perror("cannot write the floor");
        std::exit(2);
    }
    std::fprintf(f,
                 "KVX TEXT 2.1\r\nTW_Scene SCN-Bench\r\n\tTW_Node NOD-World\r\n\t\tTW_Node NOD-Floor\r\n"
                 "\t\t\tTW_Mesh MSH-Large\r\n\t\t\t\tMaterial MAT-Concrete\r\n\t\t\t\tFlags OUTLINE\r\n"
                 "\t\t\t\tBounds -70, 0, -70, 70, 0, 70\r\n\t\t\t\tTW_VertexList\r\n\t\t\t\t\t%d\r\n"
                 "\t\t\t\t\t; x, y, z\r\n",
                 vertices);
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> coord(-70.0f, 70.0f);
    for (int i = 0; i < vertices; ++i) {
        std::fprintf(f, "\t\t\t\t\t%.6f, %.6f, %.6f\r\n", static_cast<double>(coord(rng)), 0.0,
                     static_cast<double>(coord(rng)));
    }
    std::fprintf(f, "\t\t\t\tTW_PolygonList\r\n\t\t\t\t\t0\r\nEndScene\r\n");
    std::fclose(f);
    return std::filesystem::file_size(file);
}

struct Outcome {
    double seconds = 0;
    std::size_t vertices = 0;
    float scale = 0;
    double sum = 0;
};

double seconds(std::clock_t from, std::clock_t to) {
    return static_cast<double>(to - from) / CLOCKS_PER_SEC;
}

Outcome runReader(const std::filesystem::path& file) {
    const std::clock_t t0 = std::clock();
    floorplan::FloorMeshReader reader;
    reader.floorPath = file.string();
    CountingSink sink;
    const floorplan::LoadReport r = reader.loadFloor(sink);
    const std::clock_t t1 = std::clock();
    if (r.outcome != floorplan::LoadOutcome::Loaded) {
        std::fprintf(stderr, "reader: %s\n", r.reason.c_str());
        std::exit(1);
    }
    return {seconds(t0, t1), sink.count, reader.scale, sink.sum};
}

void fold(float v, float& scale) {
    if (std::fabs(v) > scale) scale = std::fabs(v);
}

Outcome runStreamLoop(const std::filesystem::path& file) {
    constexpr auto kLine = std::numeric_limits<std::streamsize>::max();
    const std::clock_t t0 = std::clock();
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && line.compare(0, 15, "\t\t\tTW_Mesh MSH-") != 0) {
    }
    for (int i = 0; i < 4; ++i) in.ignore(kLine, '\n');
    int n = 0;
    in.ignore(5);
    in >> n;
    in.ignore(kLine, '\n');
    in.ignore(kLine, '\n');
    Outcome out;
    float x = 0, y = 0, z = 0;
    for (int i = 0; i < n && in; ++i) {
        in.ignore(5);
        in >> x;
        in.ignore(255, ',');
        in >> y;
        in.ignore(255, ',');
        in >> z;
        in.ignore(255, '\n');
        fold(x, out.scale);
        fold(y, out.scale);
        fold(z, out.scale);
        ++out.vertices;
        out.sum += static_cast<double>(x) + static_cast<double>(y) + static_cast<double>(z);
    }
    out.seconds = seconds(t0, std::clock());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    int vertices = 1000000;
    int rounds = 3;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--vertices") == 0) vertices = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
        if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    }
    const std::filesystem::path file = dir / ("floor_bench_" + std::to_string(vertices) + ".kvx");
    const double mb = static_cast<double>(writeFloor(file, vertices)) / 1e6;
    std::printf("floor of %d vertices, %.1f MB (%s)\n", vertices, mb, file.c_str());

    double bestReader = 1e30, bestStream = 1e30;
    Outcome a, b;
    for (int round = 0; round < rounds; ++round) {
        if (only != "stream") {
            a = runReader(file);
            bestReader = std::min(bestReader, a.seconds);
        }
        if (only != "reader") {
            b = runStreamLoop(file);
            bestStream = std::min(bestStream, b.seconds);
        }
    }
    std::filesystem::remove(file);

    if (!only.empty()) {  // profiling one side only
        std::printf("%s: %.1f MB/s\n", only.c_str(), mb / std::min(bestReader, bestStream));
        return 0;
    }
    if (a.vertices != b.vertices || a.scale != b.scale || a.sum != b.sum) {
        std::fprintf(stderr, "results differ: %zu/%zu vertices, scale %g/%g\n", a.vertices, b.vertices,
                     static_cast<double>(a.scale), static_cast<double>(b.scale));
        return 1;
    }
    std::printf("floor reader:           %8.1f MB/s  (%.3f s, best of %d)\n", mb / bestReader, bestReader, rounds);
    std::printf("stream extraction loop: %8.1f MB/s  (%.3f s, best of %d)\n", mb / bestStream, bestStream, rounds);
    std::printf("speed-up: %.1fx (goal: at least 5x); %zu vertices, scale %g in both\n", bestStream / bestReader,
                a.vertices, static_cast<double>(a.scale));
    return 0;
}
