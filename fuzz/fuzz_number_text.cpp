// Fuzzes the one fixed-point number text (platform::fixedText): any double
// and any count of decimals give the text printf("%.*f") gives in the C
// locale (bit patterns of the input, so every finite double is reached,
// up to 1.8e308), without a sign on a zero; non-finite values are named.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    double value = 0.0;
    std::memcpy(&value, data, sizeof value);
    const int decimals = static_cast<int>(static_cast<std::int8_t>(data[8])) % 24;
    const std::string text = platform::fixedText(value, decimals);
    if (std::isnan(value)) {
        if (text != "nan") __builtin_trap();
        return 0;
    }
    if (std::isinf(value)) {
        if (text != (value > 0 ? "inf" : "-inf")) __builtin_trap();
        return 0;
    }
    const int used = decimals < 0 ? 0 : decimals > platform::kMaxFixedDecimals
                                            ? platform::kMaxFixedDecimals
                                            : decimals;
    char expected[400];
    const int n = std::snprintf(expected, sizeof expected, "%.*f", used, value);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof expected) __builtin_trap();
    std::string want(expected, static_cast<std::size_t>(n));
    if (want.size() > 1 && want[0] == '-' && want.find_first_not_of("-0.") == std::string::npos)
        want.erase(0, 1);
    if (text != want) __builtin_trap();
    return 0;
}
