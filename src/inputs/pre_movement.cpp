#include "inputs/pre_movement.h"
#include "platform/number_text.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <stdexcept>

#include "inputs/project.h"

namespace runtime {

namespace {

constexpr double kMaxSeconds = 1.0e6;
// Tells the pre-movement stream apart from the placement's (same seed).
constexpr std::uint64_t kStream = 0x707265'6d6f7665ull;  // "premove"

// One standard normal draw (Box-Muller from two uniform draws; our own
// mapping, so every standard library gives the same numbers).
double standardNormal(crowd::Rng& rng) {
    const double u1 = 1.0 - rng.uniform01();  // (0, 1]
    const double u2 = rng.uniform01();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

// Why the parameters are unusable; empty when they are fine.
std::string problemOf(const PreMovement& p) {
    auto within = [](double v) { return std::isfinite(v) && v >= 0.0 && v <= kMaxSeconds; };
    switch (p.kind) {
        case PreMovement::Kind::Constant:
            return within(p.a) ? "" : "must be from 0 to 1000000 s";
        case PreMovement::Kind::Uniform:
            return within(p.a) && within(p.b) && p.a <= p.b ? ""
                                                            : "needs 0 <= min <= max <= 1000000 s";
        case PreMovement::Kind::Normal:
            return within(p.a) && within(p.b) ? "" : "needs mean and sd from 0 to 1000000 s";
        case PreMovement::Kind::LogNormal:
            return within(p.a) && p.a > 0.0 && within(p.b)
                       ? ""
                       : "needs a mean above 0 and an sd from 0, both up to 1000000 s";
    }
    return "";
}

double numberFrom(const std::string& text, const std::string& whole) {
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw platform::InputError("--pre-movement: \"" + whole +
                                    "\" is not a number of seconds or one of uniform:MIN:MAX, "
                                    "normal:MEAN:SD, lognormal:MEAN:SD");
    return v;
}

// The distribution of a name ("uniform", "normal", "lognormal"); false for
// any other name.
bool kindOf(const std::string& name, PreMovement::Kind& kind) {
    if (name == "uniform")
        kind = PreMovement::Kind::Uniform;
    else if (name == "normal")
        kind = PreMovement::Kind::Normal;
    else if (name == "lognormal")
        kind = PreMovement::Kind::LogNormal;
    else
        return false;
    return true;
}

}  // namespace

double PreMovement::draw(crowd::Rng& rng) const {
    switch (kind) {
        case Kind::Constant:
            return a;
        case Kind::Uniform:
            return a == b ? a : rng.uniform(a, b);
        case Kind::Normal:
            for (int attempt = 0; attempt < 1000; ++attempt) {
                const double v = a + b * standardNormal(rng);
                if (v >= 0.0) return std::min(v, kMaxSeconds);
            }
            return 0.0;
        case Kind::LogNormal: {
            const double s2 = std::log1p((b * b) / (a * a));
            const double mu = std::log(a) - 0.5 * s2;
            return std::min(std::exp(mu + std::sqrt(s2) * standardNormal(rng)), kMaxSeconds);
        }
    }
    return 0.0;
}

std::string PreMovement::text() const {
    switch (kind) {
        case Kind::Constant:
            return platform::fixedText(a, 1) + " s";
        case Kind::Uniform:
            return "uniform " + platform::fixedText(a, 1) + "-" + platform::fixedText(b, 1) + " s";
        case Kind::Normal:
            return "normal, mean " + platform::fixedText(a, 1) + " s, sd " + platform::fixedText(b, 1) + " s (truncated at 0)";
        case Kind::LogNormal:
            return "log-normal, mean " + platform::fixedText(a, 1) + " s, sd " + platform::fixedText(b, 1) + " s";
    }
    return "";
}

PreMovement parsePreMovement(const std::string& text) {
    PreMovement p;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        p.a = numberFrom(text, text);
    } else {
        const std::string name = text.substr(0, colon);
        const std::string rest = text.substr(colon + 1);
        const std::size_t second = rest.find(':');
        if (second == std::string::npos) numberFrom("", text);  // throws
        if (!kindOf(name, p.kind)) numberFrom("", text);        // throws
        p.a = numberFrom(rest.substr(0, second), text);
        p.b = numberFrom(rest.substr(second + 1), text);
    }
    const std::string problem = problemOf(p);
    if (!problem.empty()) throw platform::InputError("--pre-movement " + text + ": " + problem);
    return p;
}

PreMovement preMovementFromJson(const nlohmann::json& v, const std::string& where) {
    PreMovement p;
    auto member = [&](const char* key) {
        if (!v.contains(key) || !v[key].is_number())
            throw InputError(where + "." + key + ": must be a number of seconds");
        return v[key].get<double>();
    };
    if (v.is_number()) {
        p.a = v.get<double>();
    } else if (v.is_object() && v.contains("distribution") && v["distribution"].is_string()) {
        const std::string d = v["distribution"].get<std::string>();
        const bool range = d == "uniform";
        if (!kindOf(d, p.kind))
            throw InputError(where +
                             ".distribution: must be \"uniform\", \"normal\" or "
                             "\"lognormal\"");
        for (const auto& item : v.items())
            if (item.key() != "distribution" && item.key() != (range ? "min" : "mean") &&
                item.key() != (range ? "max" : "sd"))
                throw InputError(where + "." + item.key() + ": is not a known member");
        p.a = member(range ? "min" : "mean");
        p.b = member(range ? "max" : "sd");
    } else {
        throw InputError(where +
                         ": must be seconds or {\"distribution\": \"uniform\", \"min\": .., "
                         "\"max\": ..} (or \"normal\"/\"lognormal\" with mean and sd)");
    }
    const std::string problem = problemOf(p);
    if (!problem.empty()) throw InputError(where + ": " + problem);
    return p;
}

void drawPreMovements(std::vector<crowd::PersonSpec>& people,
                      const std::vector<PreMovement>& distributions, std::uint64_t seed) {
    crowd::Rng rng(seed ^ kStream);
    for (std::size_t i = 0; i < people.size() && i < distributions.size(); ++i)
        people[i].preMovement = distributions[i].draw(rng);
}

}  // namespace runtime
