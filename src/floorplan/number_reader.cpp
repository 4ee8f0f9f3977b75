#include "floorplan/number_reader.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdint>
#include <system_error>

namespace floorplan {

namespace {

bool isStreamSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Significant digits kept of a mantissa. A float's rounding boundaries (the
// halfway points between neighbouring floats, the overflow and the underflow
// thresholds) have at most 113 significant decimal digits, so cutting the
// digits after the 200th and standing in a single '1' for them when any of
// them is not zero rounds every input exactly as the full digit string would.
constexpr int kKeptDigits = 200;
// Counters saturate here; far beyond anything that changes a float's value.
constexpr std::int64_t kCounterCap = std::int64_t{1} << 50;
// The decimal exponent handed to the conversion is clamped to this range:
// every value beyond it has long overflowed or underflowed.
constexpr std::int64_t kExponentClamp = 9999;

void saturatingIncrement(std::int64_t& v) {
    if (v < kCounterCap) ++v;
}

}  // namespace

bool skipStreamWhitespace(ByteSource& in) {
    for (;;) {
        const int c = in.peek();
        if (c < 0) return false;
        if (!isStreamSpace(c)) return true;
        in.bump();
    }
}

NumberScan<float> scanFloat(ByteSource& in) {
    char digits[kKeptDigits];
    int kept = 0;
    bool sticky = false;          // a non-zero digit beyond the kept ones
    bool negative = false;
    bool foundMantissa = false;   // a digit before any exponent mark
    bool foundPoint = false;
    bool foundExponentMark = false;
    bool foundExponentDigit = false;
    bool exponentNegative = false;
    std::int64_t integerDigits = 0;  // digits before the point, from the first non-zero one
    std::int64_t fractionZeros = 0;  // zeros after the point before the first non-zero digit
    std::int64_t exponent = 0;

    int c = in.peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        in.bump();
        c = in.peek();
    }
    for (;;) {
        if (isDigit(c)) {
            if (!foundExponentMark) {
                foundMantissa = true;
                if (kept == 0 && c == '0') {
                    if (foundPoint) saturatingIncrement(fractionZeros);
                } else {
                    if (kept < kKeptDigits) {
                        digits[kept++] = static_cast<char>(c);
                    } else if (c != '0') {
                        sticky = true;
                    }
                    if (!foundPoint) saturatingIncrement(integerDigits);
                }
            } else {
                foundExponentDigit = true;
                if (exponent < kCounterCap) exponent = exponent * 10 + (c - '0');
            }
        } else if (c == '.' && !foundPoint && !foundExponentMark) {
            foundPoint = true;
        } else if ((c == 'e' || c == 'E') && !foundExponentMark && foundMantissa) {
            foundExponentMark = true;
            in.bump();
            c = in.peek();
            if (c == '+' || c == '-') {
                exponentNegative = c == '-';
            } else {
                continue;  // look at this character again, without a sign taken
            }
        } else {
            break;
        }
        in.bump();
        c = in.peek();
    }

    NumberScan<float> out;
    if (!foundMantissa || (foundExponentMark && !foundExponentDigit)) {
        out.value = 0.0f;
        return out;
    }
    if (kept == 0) {  // only zeros
        out.ok = true;
        out.value = negative ? -0.0f : 0.0f;
        return out;
    }

    // The value is d.ddd... * 10^decimalExponent.
    std::int64_t decimalExponent = integerDigits > 0 ? integerDigits - 1 : -(fractionZeros + 1);
    decimalExponent += exponentNegative ? -exponent : exponent;
    decimalExponent = std::clamp(decimalExponent, -kExponentClamp, kExponentClamp);

    char text[kKeptDigits + 16];
    char* w = text;
    if (negative) *w++ = '-';
    *w++ = digits[0];
    if (kept > 1 || sticky) {
        *w++ = '.';
        w = std::copy(digits + 1, digits + kept, w);
        if (sticky) *w++ = '1';
    }
    *w++ = 'e';
    w = std::to_chars(w, text + sizeof text, decimalExponent).ptr;

    float value = 0.0f;
    const std::from_chars_result r = std::from_chars(text, w, value, std::chars_format::general);
    if (r.ec == std::errc()) {
        out.ok = true;
        out.value = value;
    } else if (decimalExponent > 0) {  // too large: the stream fails and stores +-FLT_MAX
        out.value = negative ? -FLT_MAX : FLT_MAX;
    } else {  // too small: reads as zero
        out.ok = true;
        out.value = negative ? -0.0f : 0.0f;
    }
    return out;
}

NumberScan<int> scanInt(ByteSource& in) {
    bool negative = false;
    int c = in.peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        in.bump();
        c = in.peek();
    }
    bool anyDigit = false;
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kBeyondInt = std::uint64_t{1} << 32;
    while (isDigit(c)) {
        anyDigit = true;
        if (magnitude <= kBeyondInt) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        in.bump();
        c = in.peek();
    }
    NumberScan<int> out;
    if (!anyDigit) return out;  // fails with 0
    if (!negative) {
        if (magnitude > static_cast<std::uint64_t>(INT_MAX)) {
            out.value = INT_MAX;
            return out;
        }
        out.value = static_cast<int>(magnitude);
    } else {
        if (magnitude > static_cast<std::uint64_t>(INT_MAX) + 1) {
            out.value = INT_MIN;
            return out;
        }
        out.value = static_cast<int>(-static_cast<std::int64_t>(magnitude));
    }
    out.ok = true;
    return out;
}

namespace {

template <class T, class Scan>
StreamLikeExtraction<T> extractLikeStream(std::string_view text, T initial, Scan scan) {
    MemoryByteSource in(text);
    StreamLikeExtraction<T> out;
    out.value = initial;
    if (!skipStreamWhitespace(in)) {
        out.fail = true;
        out.eof = true;
        out.consumed = text.size();
        return out;
    }
    const NumberScan<T> r = scan(in);
    out.value = r.value;
    out.fail = !r.ok;
    out.eof = in.hitEnd();
    out.consumed = static_cast<std::size_t>(in.offset());
    return out;
}

}  // namespace

StreamLikeExtraction<float> extractFloat(std::string_view text, float initial) {
    return extractLikeStream<float>(text, initial, [](ByteSource& in) { return scanFloat(in); });
}

StreamLikeExtraction<int> extractInt(std::string_view text, int initial) {
    return extractLikeStream<int>(text, initial, [](ByteSource& in) { return scanInt(in); });
}

}  // namespace floorplan
