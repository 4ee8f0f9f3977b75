// Compares the number reader with formatted stream extraction (`>> float`,
// `>> int`, classic locale) on arbitrary bytes: a run of extractions from one
// stream, each checked for the fail and end-of-file bits, the value stored
// and the characters consumed. Any difference aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>

#include "floorplan/number_reader.h"

namespace {

template <class T>
bool same(T a, T b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <class T, class Extract>
void compareRun(const std::string& text, Extract extract) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::size_t pos = 0;
    T value = T(42);
    for (int step = 0; step < 64; ++step) {
        T streamValue = value;
        in >> streamValue;
        const bool fail = in.fail();
        const bool eof = in.eof();
        in.clear();
        const auto tell = in.tellg();
        const std::size_t streamPos = tell < 0 ? text.size() : static_cast<std::size_t>(tell);

        const auto got = extract(std::string_view(text).substr(pos), value);
        if (!same(got.value, streamValue) || got.fail != fail || got.eof != eof ||
            pos + got.consumed != streamPos) {
            std::fprintf(stderr, "mismatch at step %d offset %zu: fail %d/%d eof %d/%d consumed to %zu/%zu\n", step,
                         pos, got.fail, fail, got.eof, eof, pos + got.consumed, streamPos);
            std::abort();
        }
        if (fail || eof) return;
        value = got.value;
        pos = streamPos;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    compareRun<float>(text, [](std::string_view t, float v) { return floorplan::extractFloat(t, v); });
    compareRun<int>(text, [](std::string_view t, int v) { return floorplan::extractInt(t, v); });
    return 0;
}
