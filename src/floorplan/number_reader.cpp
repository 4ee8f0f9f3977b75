#include "floorplan/number_reader.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
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

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// 10^-k rounded to the nearest double.
constexpr double kInversePowersOfTen[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                          1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                          1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};

std::uint64_t lowBits(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits & ((std::uint64_t{1} << 29) - 1);  // the 29 bits a float does not keep
}

// Eight digit values (one per byte, the first in the lowest byte) as a number.
std::uint64_t eightDigits(std::uint64_t v) {
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
        32;
    return v & 0xFFFFFFFFu;
}

constexpr std::uint64_t kIntPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The run of decimal digits from q on (not past e), folded into w (mod 2^64);
// returns its end. Eight bytes at a time while eight are left.
const unsigned char* digitRun(const unsigned char* q, const unsigned char* e, std::uint64_t& w) {
    if constexpr (std::endian::native == std::endian::little) {
        while (e - q >= 8) {
            std::uint64_t v;
            std::memcpy(&v, q, sizeof v);
            const std::uint64_t x = v ^ 0x3030303030303030u;  // digits become 0..9
            // a byte is no digit when its high nibble is set or its low nibble exceeds 9
            // (a carry out of a byte only disturbs the bytes after the first non-digit)
            const std::uint64_t m = (x | (x + 0x0606060606060606u)) & 0xF0F0F0F0F0F0F0F0u;
            if (m == 0) {
                w = w * 100000000u + eightDigits(x);
                q += 8;
                continue;
            }
            const int n = std::countr_zero(m) / 8;
            if (n > 0) w = w * kIntPowersOfTen[n] + eightDigits(x << (8 * (8 - n)));
            return q + n;
        }
    }
    while (q != e && static_cast<unsigned>(*q - '0') < 10u) {
        w = w * 10 + static_cast<unsigned>(*q - '0');
        ++q;
    }
    return q;
}

// The common case, read straight from the current chunk: a sign, at most 19
// digits with an optional point and no exponent, ending inside the chunk; the
// value is w / 10^k with w < 2^53 and k <= 19, well inside the float range.
// Returns false (nothing consumed) when the input is not of this form.
bool scanPlainDecimal(ByteSource& in, float& out) {
    const unsigned char* p = in.cur();
    const unsigned char* const e = in.end();
    bool negative = false;
    if (p != e && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t w = 0;
    const unsigned char* q = digitRun(p, e, w);
    std::ptrdiff_t digits = q - p;
    std::ptrdiff_t fraction = 0;
    if (q != e && *q == '.') {
        const unsigned char* f = ++q;
        q = digitRun(f, e, w);
        fraction = q - f;
        digits += fraction;
    }
    // At most 19 digits in all (leading zeros included) keep w exact; the
    // chunk end, an exponent or no digit at all go the general path.
    if (digits == 0 || digits > 19 || q == e || *q == 'e' || *q == 'E') return false;
    if (fraction > 22 || w > (std::uint64_t{1} << 53)) return false;
    // w * 10^-k in double (two roundings) is within 2.01 units in the last
    // place of the exact value. Unless a halfway point between two floats (a
    // double whose low 29 bits are 1 << 28) lies that close, no such point
    // separates the two, and both round to the same float. Otherwise the
    // quotient w / 10^k decides: it is the correctly rounded double, so it
    // rounds to the right float unless it is itself a halfway point, which is
    // left to the general path.
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 28;
    double d = static_cast<double>(w) * kInversePowersOfTen[fraction];
    if (lowBits(d) - (kHalf - 4) <= 8) {
        d = static_cast<double>(w) / kPowersOfTen[fraction];
        if (lowBits(d) == kHalf) return false;  // exactly halfway in double: general path
    }
    const float f = static_cast<float>(d);
    out = negative ? -f : f;
    in.advanceTo(q);
    return true;
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
    if (float plain; scanPlainDecimal(in, plain)) return {true, plain};

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
