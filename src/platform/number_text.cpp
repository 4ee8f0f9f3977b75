#include "platform/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace platform {

namespace {

// The sign, 309 digits of the largest double, the point and the decimals,
// with room to spare.
constexpr std::size_t kBufferSize = 1 + 309 + 1 + kMaxFixedDecimals + 16;

}  // namespace

std::string fixedText(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0.0 ? "inf" : "-inf";
    decimals = std::clamp(decimals, 0, kMaxFixedDecimals);
    char buf[kBufferSize];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    // Cannot fail with this buffer; were it ever to, say so instead of
    // reading what was not written.
    if (r.ec != std::errc()) return "(a number too long to write)";
    std::string s(buf, r.ptr);
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);  // no "-0.000"
    return s;
}

bool readWholeNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    std::uint64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
    value = v;
    return true;
}

double niceStep(double range, int ticks) {
    if (!(range > 0.0) || !std::isfinite(range)) return 1.0;
    const double raw = range / ticks;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / mag;
    return (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0) * mag;
}

}  // namespace platform
