// The number reader must agree with `std::istringstream >> float` and `>> int`
// (classic locale) on every input: the fail and end-of-file bits, the value
// stored and how many characters were taken.
#include <gtest/gtest.h>

#include <cfloat>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "floorplan/number_reader.h"

namespace {

using floorplan::extractFloat;
using floorplan::extractInt;

template <class T>
floorplan::StreamLikeExtraction<T> streamExtract(const std::string& text, T initial) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    floorplan::StreamLikeExtraction<T> out;
    T v = initial;
    in >> v;
    out.value = v;
    out.fail = in.fail();
    out.eof = in.eof();
    in.clear();
    const auto pos = in.tellg();
    out.consumed = pos < 0 ? text.size() : static_cast<std::size_t>(pos);
    return out;
}

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (auto p : parts) out.append(p);
    return out;
}

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

std::string show(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out.size() > 200 ? out.substr(0, 200) + "..." : out;
}

void expectSameFloat(const std::string& text, float initial = 123.0f) {
    const auto want = streamExtract<float>(text, initial);
    const auto got = extractFloat(text, initial);
    EXPECT_EQ(bits(got.value), bits(want.value)) << '"' << show(text) << "\" got " << got.value << " want " << want.value;
    EXPECT_EQ(got.fail, want.fail) << '"' << show(text) << '"';
    EXPECT_EQ(got.eof, want.eof) << '"' << show(text) << '"';
    EXPECT_EQ(got.consumed, want.consumed) << '"' << show(text) << '"';
}

void expectSameInt(const std::string& text, int initial = 77) {
    const auto want = streamExtract<int>(text, initial);
    const auto got = extractInt(text, initial);
    EXPECT_EQ(got.value, want.value) << '"' << show(text) << '"';
    EXPECT_EQ(got.fail, want.fail) << '"' << show(text) << '"';
    EXPECT_EQ(got.eof, want.eof) << '"' << show(text) << '"';
    EXPECT_EQ(got.consumed, want.consumed) << '"' << show(text) << '"';
}

const std::vector<std::string> kTricky = {
    "", " ", " \t\n\v\f\r", "\x1c", "\xa0" "5", "0", "-0", "+0", "00012", "-00.000", "5", "5.", ".5", "-.5", "+.5",
    ".", "-", "+", "-.", "+-5", "--5", "-+5", "1e", "1E", "1e+", "1e-", "1e5", "1E5", "1e+5", "1e-5",
    "1e+-5", "1e5e5", "1e5.5", "1.5.5", "1..5", ".e5", "0e5", ".0e5", "e5", "E", "1ee5", "1e 5",
    "inf", "-inf", "+inf", "INF", "nan", "-nan", "NaN", "infinity", "0x1p3", "0x", "1x", "0b1",
    "  42abc", "42 ", "42,", "-12.345678, 0.000000", "3.4028235e38", "3.4028236e38",
    "3.40282347e38", "3.40282357e38", "3.4028235677973366e38", "-3.4028235677973366e38", "1e38",
    "1e39", "-1e39", "1e-38", "1.17549435e-38", "1e-45", "1.4e-45", "7.006492321624085e-46",
    "7.006492321624086e-46", "7e-46", "1e-46", "-1e-46", "1e-50", "1e-400", "1e400",
    "1e2147483647", "1e2147483648", "1e-2147483648", "1e99999999999999999999999999",
    "1e-99999999999999999999999999", "0e99999999999999999999999999", "0.0000000000000000000000001e25",
    "16777216", "16777217", "16777218", "16777219", "33554431", "0.1", "0.2", "0.3", "1.0000001",
    "1.00000006", "1.00000005960464477539062", "1.000000059604644775390625",
    "1.000000059604644775390625000000000000000000000000001", "2147483647", "2147483648",
    "-2147483648", "-2147483649", "4294967296", "9223372036854775807", "9223372036854775808",
    "-9223372036854775808", "-9223372036854775809", "99999999999999999999999999999", "12 34",
    "\t\t\t\t\t12", "5\r\n", "1,5", "1'000", "٣", "1\x00" "5", "0x10", "010", "08", "-0x1",
};

TEST(NumberReader, TrickyInputsMatchTheStream) {
    for (const auto& t : kTricky) {
        expectSameFloat(t);
        expectSameInt(t);
    }
    // embedded NUL: keep the byte
    const std::string withNul("1\0" "5", 3);
    expectSameFloat(withNul);
    expectSameInt(withNul);
}

TEST(NumberReader, OverlongDigitStringsMatchTheStream) {
    std::vector<std::string> inputs;
    for (int n : {40, 120, 200, 201, 250, 800, 5000}) {
        inputs.push_back(std::string(static_cast<std::size_t>(n), '9'));
        const std::string zeros(static_cast<std::size_t>(n), '0');
        const std::string e = std::to_string(n);
        inputs.push_back(cat({"0.", zeros, "1e", e}));
        inputs.push_back(cat({"1", zeros, "e-", e}));
        inputs.push_back(cat({"-", zeros, ".", std::string(static_cast<std::size_t>(n), '3')}));
        inputs.push_back(cat({"1e", zeros, "7"}));
    }
    for (const auto& t : inputs) {
        expectSameFloat(t);
        expectSameInt(t);
    }
}

// Halfway points between neighbouring floats, written out exactly, and values
// a hair above and below them: the cases where rounding is decided by the
// last digits, far beyond what is kept of a long mantissa.
TEST(NumberReader, HalfwayPointsRoundLikeStrtof) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::uint32_t> pick(0, 0x7f7ffffeu);
    for (int i = 0; i < 3000; ++i) {
        std::uint32_t b = pick(rng);
        if (i < 40) b = static_cast<std::uint32_t>(i);  // denormals near zero
        float f;
        std::memcpy(&f, &b, sizeof f);
        const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
        char buf[1200];
        std::snprintf(buf, sizeof buf, "%.1100e", mid);  // exact: every double is a finite decimal
        std::string exact(buf);
        const auto e = exact.find('e');
        std::string mant = exact.substr(0, e);
        const std::string ex = exact.substr(e);
        while (mant.back() == '0') mant.pop_back();
        expectSameFloat(mant + ex);
        expectSameFloat(mant + std::string(300, '0') + "1" + ex);  // a hair above
        // a hair below: subtract one in the last place of a longer expansion
        std::string below = mant;
        std::size_t k = below.size() - 1;
        while (below[k] == '0' || below[k] == '.') {
            if (below[k] == '0') below[k] = '9';
            --k;
        }
        below[k] = static_cast<char>(below[k] - 1);
        expectSameFloat(below + std::string(250, '9') + ex);
        expectSameFloat("-" + mant + ex);
    }
}

// Plain decimals (no exponent, at most 19 digits) right at and around the
// halfway points between floats, written in fixed notation.
TEST(NumberReader, ShortDecimalsNearHalfwayPointsMatchTheStream) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> logMagnitude(-3.0, 7.0);
    for (int i = 0; i < 50000; ++i) {
        const float f = static_cast<float>(std::pow(10.0, logMagnitude(rng)));
        const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
        for (double v : {mid, std::nextafter(mid, 0.0), std::nextafter(mid, 1e300)}) {
            const int intDigits = v >= 1 ? static_cast<int>(std::floor(std::log10(v))) + 1 : 1;
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", std::max(0, 19 - intDigits), v);
            expectSameFloat(buf);
            std::snprintf(buf, sizeof buf, "%.*f", std::max(0, 15 - intDigits), v);
            expectSameFloat(buf);
        }
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(NumberReader, RandomStringsMatchTheStream) {
    const std::string alphabet = "0123456789000999..++--eeEE  \t\n\r\v\f,xinaf";
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        const std::size_t len = rng() % 24;
        std::string s;
        for (std::size_t k = 0; k < len; ++k) s += alphabet[rng() % alphabet.size()];
        expectSameFloat(s);
        expectSameInt(s);
        if (::testing::Test::HasFailure()) return;
    }
    // well-formed numbers with random digits and exponents
    for (int i = 0; i < 100000; ++i) {
        std::string s = (rng() % 3 == 0) ? "-" : "";
        const std::size_t digits = 1 + rng() % 30;
        const std::size_t point = rng() % (digits + 1);
        for (std::size_t k = 0; k < digits; ++k) {
            if (k == point) s += '.';
            s += static_cast<char>('0' + rng() % 10);
        }
        if (rng() % 2) s += cat({"e", std::to_string(static_cast<int>(rng() % 100) - 60)});
        expectSameFloat(s);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(NumberReader, ValuesOnFailure) {
    // what the stream stores: 0 when nothing converts, +-FLT_MAX beyond the range,
    // INT_MAX / INT_MIN beyond the int range; nothing at all when only white space
    EXPECT_EQ(extractFloat("x", 5.0f).value, 0.0f);
    EXPECT_EQ(extractFloat("1e50", 5.0f).value, FLT_MAX);
    EXPECT_EQ(extractFloat("-1e50", 5.0f).value, -FLT_MAX);
    EXPECT_TRUE(extractFloat("-1e50").fail);
    EXPECT_FALSE(extractFloat("1e-50").fail);
    EXPECT_EQ(extractFloat("  ", 5.0f).value, 5.0f);
    EXPECT_EQ(extractInt("3000000000").value, INT_MAX);
    EXPECT_EQ(extractInt("-3000000000").value, INT_MIN);
    EXPECT_EQ(extractInt("-2147483648").value, INT_MIN);
    EXPECT_FALSE(extractInt("-2147483648").fail);
}

TEST(NumberReader, ChunkBoundariesDoNotMatter) {
    for (const auto& t : kTricky) {
        for (std::size_t chunk : {1u, 2u, 3u}) {
            floorplan::MemoryByteSource whole(t), parts(t, chunk);
            if (!floorplan::skipStreamWhitespace(whole)) continue;
            ASSERT_TRUE(floorplan::skipStreamWhitespace(parts));
            const auto a = floorplan::scanFloat(whole);
            const auto b = floorplan::scanFloat(parts);
            EXPECT_EQ(bits(a.value), bits(b.value)) << show(t);
            EXPECT_EQ(a.ok, b.ok);
            EXPECT_EQ(whole.offset(), parts.offset());
            EXPECT_EQ(whole.hitEnd(), parts.hitEnd());
        }
    }
}

}  // namespace
