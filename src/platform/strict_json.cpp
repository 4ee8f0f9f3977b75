#include "platform/strict_json.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/safe_output.h"

namespace platform {

namespace {

using nlohmann::json;

// Where the parser stands: one entry per open object or array.
struct Level {
    bool isObject = false;
    std::set<std::string> keys;  // objects: the keys seen so far
    std::string key;             // objects: the current member
    std::size_t index = 0;       // arrays: the current element
};

std::string pathOf(const std::vector<Level>& levels) {
    std::string path;
    for (const Level& l : levels) {
        if (l.isObject) {
            if (!path.empty()) path += '.';
            path += capped(l.key, 60);
        } else {
            path += "[" + std::to_string(l.index) + "]";
        }
        if (path.size() > 300) return capped(path);
    }
    return path.empty() ? std::string("the document") : path;
}

// nlohmann's message without its tag and position: "[json.exception.
// parse_error.101] parse error at line 1, column 13: syntax error while
// parsing object - unexpected end of input; expected string literal" says
// "unexpected end of input; expected string literal (in an object)".
std::string plainWords(const std::string& message) {
    std::string text = message;
    if (text.rfind("[json.exception.", 0) == 0 && text.find("] ") != std::string::npos)
        text = text.substr(text.find("] ") + 2);
    if (text.rfind("parse error", 0) == 0 && text.find(": ") != std::string::npos)
        text = text.substr(text.find(": ") + 2);
    const std::string syntax = "syntax error while parsing ";
    if (text.rfind(syntax, 0) == 0) {
        const std::size_t dash = text.find(" - ");
        if (dash != std::string::npos) {
            const std::string what = text.substr(syntax.size(), dash - syntax.size());
            const std::string in = what.rfind("object", 0) == 0 ? "an object"
                                   : what == "array"            ? "an array"
                                                                : "a " + what;
            text = text.substr(dash + 3) + " (in " + in + ")";
        }
    }
    return capped(text, 200);
}

}  // namespace

json parseStrictJson(std::string_view text, std::size_t maxDepth) {
    std::vector<Level> levels;
    // A finished value moves an enclosing array on to its next element.
    auto finished = [&] {
        if (!levels.empty() && !levels.back().isObject) ++levels.back().index;
    };
    json::parser_callback_t check = [&](int, json::parse_event_t event, json& parsed) {
        switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                if (levels.size() >= maxDepth)
                    throw JsonError(pathOf(levels) + ": nested deeper than " +
                                    std::to_string(maxDepth) + " levels");
                levels.push_back({event == json::parse_event_t::object_start, {}, {}, 0});
                break;
            case json::parse_event_t::key: {
                Level& l = levels.back();
                l.key = parsed.get<std::string>();
                if (!l.keys.insert(l.key).second)
                    throw JsonError(pathOf(levels) + ": appears twice in one object");
                break;
            }
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                levels.pop_back();
                finished();
                break;
            case json::parse_event_t::value:
                finished();
                break;
        }
        return true;
    };
    try {
        return json::parse(text.begin(), text.end(), check);
    } catch (const json::parse_error& e) {
        // nlohmann gives the byte after the one it stopped at.
        const auto [line, column] = lineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0);
        throw JsonError(line, column, plainWords(e.what()));
    } catch (const json::exception& e) {
        // Numbers too large for a double (1e400).
        throw JsonError("not valid JSON: " + plainWords(e.what()));
    }
}

std::pair<int, int> lineAndColumn(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    int line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    return {line, static_cast<int>(offset - lineStart) + 1};
}

JsonError::JsonError(int line, int column, const std::string& words)
    : InputError("line " + std::to_string(line) + ", column " + std::to_string(column) +
                 ": not valid JSON: " + words),
      line_(line), column_(column), words_(words) {}

std::string JsonError::inFile(const std::string& file) const {
    if (line_ == 0) return file + ": " + what();
    return file + ":" + std::to_string(line_) + ":" + std::to_string(column_) +
           ": not valid JSON: " + words_;
}

}  // namespace platform
