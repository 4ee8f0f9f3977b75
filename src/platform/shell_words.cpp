#include "platform/shell_words.h"

#include <cstdio>

#include "platform/input_error.h"
#include "platform/safe_output.h"

namespace platform {

std::size_t unquotableAt(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return i;
    }
    return std::string_view::npos;
}

std::string shellWord(std::string_view text, std::string_view what) {
    const std::size_t at = unquotableAt(text);
    if (at != std::string_view::npos) {
        const auto c = static_cast<unsigned char>(text[at]);
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", c);
        const std::string name = c == '\n'   ? "a line break"
                                 : c == '\r' ? "a carriage return"
                                 : c == '\t' ? "a tab"
                                             : std::string("the control character ") + code;
        throw InputError(std::string(what) + " \"" + capped(text, 200) + "\" holds " + name +
                         " (character " + std::to_string(at + 1) +
                         "), which cannot stand in a batch script; rename it");
    }
    std::string q = "'";
    for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace platform
