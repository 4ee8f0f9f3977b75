#pragma once
// Reads decimal numbers from a ByteSource exactly as a formatted stream
// extraction in the classic locale does (`stream >> f` for a float,
// `stream >> n` for an int, as the GNU C++ library implements them): the same
// characters are consumed, the same inputs fail, and the same value results,
// rounded like strtof. No iostreams are involved, so it is fast.
//
// Float grammar, consumed greedily: an optional sign; digits, at most one
// decimal point; then, once at least one digit has been seen, an optional 'e'
// or 'E', an optional sign and digits. The read fails when no mantissa digit
// was consumed ("-", ".", "inf", "nan") or when an exponent mark has no digit
// after it ("1e", "1e+"); the consumed characters stay consumed. A value
// beyond the float range fails too and yields +-FLT_MAX; a value too small
// for the float range reads as a zero (or a denormal) and succeeds.
//
// Int grammar: an optional sign and decimal digits, all of them consumed.
// No digit fails with 0; a value beyond the int range fails with INT_MAX or
// INT_MIN.

#include <cstddef>
#include <string_view>

#include "floorplan/byte_source.h"

namespace floorplan {

template <class T>
struct NumberScan {
    bool ok = false;  // false: the stream would set its fail bit
    T value{};        // what the stream stores in the variable
};

// Skips the white space that a formatted extraction skips first (space, tab,
// line feed, vertical tab, form feed, carriage return). Returns false when the
// end of the input was reached (the extraction then fails and stores nothing).
bool skipStreamWhitespace(ByteSource& in);

// Reads one number from the current byte on (white space already skipped).
NumberScan<float> scanFloat(ByteSource& in);
NumberScan<int> scanInt(ByteSource& in);

// A whole extraction `std::istringstream(text) >> value` on a fresh stream,
// for tests and checks: white space skipping included, `value` starting as
// `initial` (it stays when the extraction stores nothing).
template <class T>
struct StreamLikeExtraction {
    T value{};
    bool fail = false;
    bool eof = false;
    std::size_t consumed = 0;  // characters taken from the text
};

StreamLikeExtraction<float> extractFloat(std::string_view text, float initial = 0.0f);
StreamLikeExtraction<int> extractInt(std::string_view text, int initial = 0);

}  // namespace floorplan
