#include "inputs/startup_script_reader.h"

#include "projectformat/startup_script_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace runtime {

namespace {

namespace pf = projectformat;
namespace rows = projectformat::row;

// What a row carries, for messages.
const char* rowMeaning(int row) {
    switch (row) {
        case rows::kTotalPeople:
            return "the number of people (TotalPeople)";
        case rows::kKvxFlag:
            return "the KVX recording flag (dumpToKVX)";
        case rows::kAviFlag:
            return "the movie recording flag (dumpToAVI)";
        case rows::kFirstExitA:
            return "the first exit vector va";
        case rows::kFirstExitB:
            return "the first exit vector vb";
        case rows::kSecondExitA:
            return "the second exit vector va2";
        case rows::kSecondExitB:
            return "the second exit vector vb2";
        case rows::kScattered:
            return "the number of scattered people";
        case rows::kClusterCentre:
            return "a cluster centre";
        case rows::kClusterCall:
            return "the cluster call that follows a cluster centre";
        case rows::kCameraX:
            return "the camera's x position";
        case rows::kCameraY:
            return "the camera's y position";
        case rows::kCameraZ:
            return "the camera's z position";
        default:
            return nullptr;
    }
}

// Makes a line printable: tabs as \t, other control and non-ASCII bytes as
// \xNN; long lines are cut.
std::string printable(std::string_view s, std::size_t limit = 120) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\t') {
            out += "\\t";
        } else if (c < 32 || c >= 127) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

class Matcher {
  public:
    Matcher(std::vector<std::string_view> lines) : lines_(std::move(lines)) {}

    bool atEnd() const { return next_ >= lines_.size(); }
    int lineNumber() const { return static_cast<int>(next_) + 1; }
    std::string_view peek() const { return lines_[next_]; }

    [[noreturn]] void fail(int row, const std::string& why) const {
        std::string msg = why;
        if (const char* meaning = rowMeaning(row)) msg += " (" + std::string(meaning) + ")";
        msg += ": expected \"" + printable(pf::describeRow(row), 200) + "\"";
        if (!atEnd()) msg += ", found \"" + printable(lines_[next_]) + "\"";
        throw ScriptError(lineNumber(), msg);
    }

    // Matches template row `row` against the next line; numbers are appended
    // to `values` (integers as their value).
    void match(int row, std::vector<double>& values) {
        if (atEnd()) fail(row, "the script ends early");
        const pf::ScriptRow& r = pf::scriptRow(row);
        const std::string_view line = lines_[next_];
        std::size_t pos = 0;
        for (int t = 0; t < r.tabs; ++t, ++pos)
            if (pos >= line.size() || line[pos] != '\t')
                fail(row, "the line does not have the expected text");
        pf::forEachPiece(
            r,
            [&](std::string_view text) {
                if (line.substr(pos, text.size()) != text)
                    fail(row, "the line does not have the expected text");
                pos += text.size();
            },
            [&](pf::Field field) {
                values.push_back(
                    number(row, line, pos, pf::kindOf(field) == pf::FieldKind::Integer));
            });
        if (pos != line.size()) fail(row, "the line has more text than expected");
        ++next_;
    }

  private:
    // A number as the generator writes it: an optional minus, digits; for a
    // real also an optional fraction and an optional exponent (1e+006).
    double number(int row, std::string_view line, std::size_t& pos, bool integer) const {
        const std::size_t start = pos;
        std::size_t p = pos;
        if (p < line.size() && line[p] == '-') ++p;
        const std::size_t digits = p;
        while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
        if (p == digits) fail(row, integer ? "a whole number is missing" : "a number is missing");
        if (!integer) {
            if (p < line.size() && line[p] == '.') {
                const std::size_t frac = ++p;
                while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
                if (p == frac) fail(row, "a number has no digits after its decimal point");
            }
            if (p < line.size() && (line[p] == 'e' || line[p] == 'E')) {
                ++p;
                if (p < line.size() && (line[p] == '+' || line[p] == '-')) ++p;
                const std::size_t exp = p;
                while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
                if (p == exp) fail(row, "a number has no digits in its exponent");
            }
        }
        const char* first = line.data() + start;
        const char* last = line.data() + p;
        double value = 0.0;
        if (integer) {
            long long v = 0;
            const auto res = std::from_chars(first, last, v);
            if (res.ec != std::errc() || res.ptr != last || v < -2147483648LL || v > 2147483647LL)
                fail(row, "a whole number is out of range");
            value = static_cast<double>(v);
        } else {
            const auto res = std::from_chars(first, last, value);
            if (res.ec != std::errc() || res.ptr != last || !std::isfinite(value) ||
                std::fabs(value) > 3.4e38)
                fail(row, "a number is out of range");
        }
        pos = p;
        return value;
    }

    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;
};

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!last && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

ScriptError::ScriptError(int line, const std::string& message)
    : platform::InputError({{}, line, {}}, message) {}

std::string describeRow(int row) { return pf::describeRow(row); }

StartupScript parseStartupScript(std::string_view text) {
    if (text.empty()) throw ScriptError(0, "the startup script is empty");
    Matcher m(splitLines(text));
    StartupScript s;
    std::vector<double> v;
    auto take = [&](int row) {
        v.clear();
        m.match(row, v);
    };
    auto point = [&](int row) {
        take(row);
        return ScriptPoint{static_cast<float>(v[0]), static_cast<float>(v[1])};
    };
    for (int row = 1; row < rows::kClusterCentre; ++row) {
        const int line = m.lineNumber();
        switch (row) {
            case rows::kTotalPeople:
                take(row);
                s.totalPeople = static_cast<int>(v[0]);
                if (s.totalPeople < 0 || s.totalPeople > kMaxScriptPeople)
                    throw ScriptError(line, "TotalPeople is " + std::to_string(s.totalPeople) +
                                                ", outside 0 to " +
                                                std::to_string(kMaxScriptPeople));
                break;
            case rows::kKvxFlag:
                take(row);
                s.kvxFlag = static_cast<int>(v[0]);
                break;
            case rows::kAviFlag:
                take(row);
                s.aviFlag = static_cast<int>(v[0]);
                break;
            case rows::kFirstExitA:
                s.va = point(row);
                break;
            case rows::kFirstExitB:
                s.vb = point(row);
                break;
            case rows::kSecondExitA:
                s.va2 = point(row);
                break;
            case rows::kSecondExitB:
                s.vb2 = point(row);
                break;
            case rows::kScattered:
                take(row);
                s.scattered = static_cast<int>(v[0]);
                if (s.scattered < 0 || s.scattered > kMaxScriptPeople)
                    throw ScriptError(line, "the number of scattered people is " +
                                                std::to_string(s.scattered) + ", outside 0 to " +
                                                std::to_string(kMaxScriptPeople));
                break;
            default:
                take(row);
                break;
        }
    }
    // The cluster centre and its call, once per used cluster: a line that
    // starts as the centre row does (its tabs and the text before its first
    // number) begins one more pair.
    const pf::ScriptRow& centre = pf::scriptRow(rows::kClusterCentre);
    const std::string clusterStart = std::string(static_cast<std::size_t>(centre.tabs), '\t') +
                                     std::string(centre.text.substr(0, centre.text.find('@')));
    while (!m.atEnd() && m.peek().starts_with(clusterStart)) {
        if (static_cast<int>(s.clusters.size()) >= kMaxScriptClusters)
            throw ScriptError(m.lineNumber(),
                              "more than " + std::to_string(kMaxScriptClusters) + " clusters");
        s.clusters.push_back(point(rows::kClusterCentre));
        take(rows::kClusterCall);
    }
    for (int row = rows::kClusterCall + 1; row <= rows::kCount; ++row) {
        switch (row) {
            case rows::kCameraX:
                take(row);
                s.cameraX = static_cast<float>(v[0]);
                break;
            case rows::kCameraY:
                take(row);
                s.cameraY = static_cast<float>(v[0]);
                break;
            case rows::kCameraZ:
                take(row);
                s.cameraZ = static_cast<float>(v[0]);
                break;
            default:
                take(row);
                break;
        }
    }
    if (!m.atEnd())
        throw ScriptError(
            m.lineNumber(),
            "expected the end of the script after the closing brace of MyCluster, found \"" +
                printable(m.peek()) + "\"");
    s.lineCount = m.lineNumber() - 1;

    const long long created =
        static_cast<long long>(s.scattered) + static_cast<long long>(pf::script::kPeoplePerCluster) *
            static_cast<long long>(s.clusters.size());
    if (created != s.totalPeople)
        throw ScriptError(rows::kTotalPeople,
                          "TotalPeople is " + std::to_string(s.totalPeople) +
                              " but the script creates " + std::to_string(created) + " people (" +
                              std::to_string(s.scattered) + " scattered and " +
                              std::to_string(pf::script::kPeoplePerCluster) + " in each of " +
                                 std::to_string(s.clusters.size()) + " clusters)");
    return s;
}

}  // namespace runtime
