#include "runtime/floor_units.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

namespace runtime {

std::optional<double> statedMetresPerUnit(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        line.remove_prefix(first);
        // The header ends where the first node or mesh begins.
        if (line.rfind("TW_Node", 0) == 0 || line.rfind("TW_Mesh", 0) == 0) break;
        if (line.rfind("Units", 0) != 0 || line.size() < 6 || (line[5] != ' ' && line[5] != '\t'))
            continue;
        line.remove_prefix(6);
        const std::size_t digits = line.find_first_not_of(" \t");
        if (digits != std::string_view::npos) line.remove_prefix(digits);
        double value = 0.0;
        const auto result = std::from_chars(line.data(), line.data() + line.size(), value);
        if (digits == std::string_view::npos || result.ec != std::errc() ||
            !std::isfinite(value) || !(value > 0.0)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
            throw std::invalid_argument("its Units line gives '" + std::string(line) +
                                        "', not a length in metres greater than 0");
        }
        return value;
    }
    return std::nullopt;
}

}  // namespace runtime
