#pragma once
// Runs the real mvnrt in a folder and collects its exit status and output.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace recordingtest {

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline Outcome runMvnrt(const std::filesystem::path& cwd, const std::string& args) {
    const auto out = cwd / "mvnrt.out", err = cwd / "mvnrt.err";
    const std::string cmd = "cd '" + cwd.string() + "' && '" MVNRT_PATH "' " + args + " >'" +
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

inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace recordingtest
