// Copies SOURCE to DESTINATION with TemplateCopy and prints the seconds it
// took: the figure run-copy.sh sets beside cp.
#include <chrono>
#include <cstdio>

#include "generator/template_copy.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: copy_driver SOURCE DESTINATION\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto report = generator::TemplateCopy(argv[1], argv[2]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!report.complete) {
        std::fprintf(stderr, "copy_driver: %s\n", report.problem.c_str());
        return 1;
    }
    std::printf("%.6f\n", took.count());
    return 0;
}
