#include "platform/strict_json.h"

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
    } catch (const json::exception& e) {
        // Syntax errors, and numbers too large for a double (1e400).
        throw JsonError("not valid JSON: " + capped(e.what()));
    }
}

}  // namespace platform
