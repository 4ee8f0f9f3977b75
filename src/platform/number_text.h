#pragma once
// The one text of a number in fixed-point notation, for reports, tables and
// messages, whatever the locale.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The most decimals fixedText() writes; more are taken as this many.
inline constexpr int kMaxFixedDecimals = 17;

// `value` with `decimals` digits after the point (0 to kMaxFixedDecimals;
// fewer are 0), rounded correctly, as printf("%.*f") would write it in the C
// locale, for any finite double (the largest has 309 digits before the
// point). A negative number that rounds to zero is written without its sign.
// A value that is not finite is named: "nan", "inf" or "-inf".
std::string fixedText(double value, int decimals);

// A step for the ticks of an axis over `range`: 1, 2 or 5 times a power of
// ten, the smallest of them at least range / ticks, so that about `ticks`
// ticks span the range. A range that is not positive and finite gets 1.
double niceStep(double range, int ticks);

// Reads `text` whole as a whole number of decimal digits into `value`.
// False (and `value` as it was) for anything else: an empty text, a sign,
// other characters, or a number past the type's largest (never taken as
// some smaller number).
bool readWholeNumber(std::string_view text, std::uint64_t& value);

}  // namespace platform
