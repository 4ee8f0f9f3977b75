#include "floorplan/floor_units.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>

namespace floorplan {

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

std::optional<double> statedMetresPerUnitOfFile(const std::filesystem::path& file) {
    // The header comes first; a floor may be far larger than its header.
    constexpr std::size_t kHeaderBytes = 64u << 10;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string head(kHeaderBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    return statedMetresPerUnit(head);
}

}  // namespace floorplan
