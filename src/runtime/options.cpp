#include "runtime/options.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace runtime {

namespace {

double positiveNumber(const std::string& option, const std::string& text, double max,
                      bool allowZero) {
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v) || v < 0.0 ||
        (!allowZero && v == 0.0) || v > max)
        throw std::invalid_argument(
            option + " needs a number " + (allowZero ? "from 0" : "above 0") + " to " +
            std::to_string(static_cast<long long>(max)) + ", not \"" + text + "\"");
    return v;
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a == "--scenario") {
            o.scenario = value();
        } else if (a == "--out") {
            o.out = value();
            if (o.out->empty()) throw std::invalid_argument("--out needs a folder");
        } else if (a == "--seed") {
            const std::string& t = value();
            std::uint64_t s = 0;
            const auto r = std::from_chars(t.data(), t.data() + t.size(), s);
            if (r.ec != std::errc() || r.ptr != t.data() + t.size())
                throw std::invalid_argument(
                    "--seed needs a whole number from 0 to 18446744073709551615, not \"" + t +
                    "\"");
            o.seed = s;
        } else if (a == "--time-limit") {
            o.timeLimit = positiveNumber(a, value(), 1.0e6, false);
        } else if (a == "--fps") {
            o.fps = positiveNumber(a, value(), 1000.0, true);
        } else if (a == "--threads") {
            const std::string& t = value();
            if (t != "1" && t != "2")
                throw std::invalid_argument("--threads needs 1 or 2, not \"" + t + "\"");
            o.threads = t == "1" ? 1 : 2;
        } else {
            throw std::invalid_argument("unknown argument \"" + a + "\" (try --help)");
        }
    }
    return o;
}

std::string usageText() {
    return R"(Usage: mvnrt [options]

Simulates the escape of the people of the project bProj in the current
directory, as escape-setup writes it (escape-setup starts mvnrt there with no
arguments), or of a generic scenario given with --scenario.

Options:
  --scenario FILE   run the scenario FILE (JSON, metres) instead of ./bProj
  --seed N          random seed (default 1; a scenario may name its own)
  --time-limit S    stop after S simulated seconds (default 3600, or the
                    scenario's timeLimit)
  --out DIR         folder for the results (default bProj/results, or
                    ./results for a scenario)
  --fps N           trajectory frames per simulated second (default 24;
                    0 leaves out trajectories.csv)
  --threads N       1 or 2 threads for the forces (default 1); the
                    results are the same
  --quiet           print nothing but errors
  --help            show this text

Results: summary.json, trajectories.csv and evacuation.png.
Exit status: 0 after a run (also when people are still inside at the time
limit), 1 when the results cannot be written, 2 for an unusable project,
scenario or command line.
)";
}

}  // namespace runtime
