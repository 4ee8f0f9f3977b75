// mvnrt: the crowd-escape runtime. Started by escape-setup with no arguments
// in the folder that holds bProj, it reads the project and simulates the
// escape; with --scenario it runs a generic scenario instead.
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/options.h"
#include "runtime/prepare.h"
#include "runtime/project.h"
#include "runtime/single_run.h"

int main(int argc, char** argv) {
    runtime::Options opt;
    try {
        opt = runtime::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        return 2;
    }
    if (opt.help) {
        std::cout << runtime::usageText();
        return 0;
    }

    runtime::PreparedRun prep;
    try {
        prep = runtime::prepareRun(opt);
        return runtime::runPrepared(prep, opt).status;
    } catch (const runtime::InputError& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        return 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << "mvnrt: " << prep.meta.source << ": " << e.what() << "\n";
        return 2;
    }
}
