#pragma once
// Helpers for the runtime tests: the golden startup script of the worked
// example, edits of it, and a project tree in a temporary folder.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "scenario/scenario_settings.h"
#include "support/test_support.h"

namespace runtimetest {

// The dialog's three counts as the settings a build is made from.
inline scenario::ScenarioSettings counts(int pairs, int adults, int children) {
    scenario::ScenarioSettings s;
    s.pairCount = pairs;
    s.adultCount = adults;
    s.childCount = children;
    return s;
}

// The worked example: pairs 5, adults 5, children 5, recordKvx, clusters
// (10, 20), (-15.5, 4.75), (1, 1), one exit at (12.5, -30.25), floorScale 70.
inline std::string workedExample() {
    return testsupport::readFile(
        testsupport::sourcePath("tests/golden/startup_worked_example.pc"));
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

inline std::string join(const std::vector<std::string>& ls) {
    std::string out;
    for (const std::string& l : ls) out += l + "\r\n";
    return out;
}

// The worked example with line `number` (1-based) replaced.
inline std::string withLine(int number, const std::string& text) {
    auto ls = lines(workedExample());
    ls.at(static_cast<std::size_t>(number - 1)) = text;
    return join(ls);
}

// Writes a project tree: the startup script and the floor file.
inline void writeProject(const std::filesystem::path& dir, const std::string& script,
                         const std::string& floorBytes) {
    testsupport::writeFile(dir / "bProj" / "Vellico" / "startup.pc", script);
    testsupport::writeFile(dir / "bProj" / "Content" / "Actors" / "Floor" / "Floor.kvx",
                           floorBytes);
}

inline std::string fixture(std::string_view name) {
    return testsupport::readFile(
        testsupport::sourcePath(std::string("tests/fixtures/") + std::string(name)));
}

inline std::string basicFloor() {
    return testsupport::readFile(testsupport::sourcePath("unchanged/floor.kvx"));
}

#ifdef MVNRT_PATH
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs mvnrt in `cwd` with `args` (shell words), no input.
inline Outcome runMvnrt(const std::filesystem::path& cwd, const std::string& args) {
    const auto out = cwd / "mvnrt.stdout", err = cwd / "mvnrt.stderr";
    // Without a display, as mvnrt runs headless then (its window has tests of its own).
    const std::string cmd = "cd '" + cwd.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" MVNRT_PATH "' " + args + " >'" +
                            out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(cmd.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = testsupport::readFile(out);
    o.err = testsupport::readFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return o;
}
#endif

}  // namespace runtimetest
