// Reading a DXF plan: the time to read the drawing (dxflib, blocks, chords)
// and the whole plan (rings joined, GEOS unions and differences), the best
// and the median of several rounds, in wall time and in the process's CPU
// time (the fairer figure on a shared machine). "plan" is the whole read.
//   cad_bench PLAN.dxf [--rounds N] [--walls L] [--obstacles L]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cad/plan.h"
#include "platform/input_error.h"

namespace {

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void report(const char* what, std::vector<double> t) {
    std::sort(t.begin(), t.end());
    std::printf("%-14s best %.3f s, median %.3f s\n", what, t.front(), t[t.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: cad_bench PLAN.dxf [--rounds N]\n");
        return 2;
    }
    const std::string file = argv[1];
    int rounds = 5;
    cad::PlanOptions o;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--walls") == 0) o.layers.walls.name = argv[i + 1];
        if (std::strcmp(argv[i], "--obstacles") == 0) o.layers.obstacles.name = argv[i + 1];
    }
    std::vector<double> drawing, plan, drawingCpu, planCpu;
    try {
        for (int r = 0; r < rounds; ++r) {
            const std::clock_t c0 = std::clock();
            const auto t0 = std::chrono::steady_clock::now();
            const cad::Drawing d = cad::readDrawing(
                file, file, {o.layers.walls.name, o.layers.obstacles.name, o.layers.exits.name}, o.unit);
            const auto t1 = std::chrono::steady_clock::now();
            const std::clock_t c1 = std::clock();
            const cad::Plan p = cad::readPlan(file, file, o);
            const auto t2 = std::chrono::steady_clock::now();
            const std::clock_t c2 = std::clock();
            drawing.push_back(seconds(t1 - t0));
            plan.push_back(seconds(t2 - t1));
            drawingCpu.push_back(static_cast<double>(c1 - c0) / CLOCKS_PER_SEC);
            planCpu.push_back(static_cast<double>(c2 - c1) / CLOCKS_PER_SEC);
            if (r == 0)
                std::printf("%s: %zu entities, %zu vertices, %zu areas, %.2f m²\n", file.c_str(),
                            p.entities, p.vertices, p.walkable.size(), p.area());
        }
    } catch (const platform::InputError& e) {
        std::fprintf(stderr, "cad_bench: %s\n", e.what());
        return 2;
    }
    report("drawing", drawing);
    report("plan", plan);
    report("drawing (CPU)", drawingCpu);
    report("plan (CPU)", planCpu);
    return 0;
}
