#pragma once
// Reading JSON written by people: strict where the plain parser is lenient.
//
// A key that appears twice in one object is an error (the plain parser keeps
// the last one without a word), and so is nesting deeper than a limit (deep
// nesting costs stack and memory and no file of ours needs it). Messages
// name the member by its path ("model.B") and never echo more than a short
// piece of a key.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/input_error.h"

namespace platform {

class JsonError : public InputError {
  public:
    using InputError::InputError;
    // A syntax error at `line` and `column` (1-based; the column counts
    // bytes): what() is "line L, column C: not valid JSON: <plain words>".
    JsonError(int line, int column, const std::string& words);

    // 0 when the error is not one of syntax (a key twice, too deep).
    int line() const { return line_; }
    int column() const { return column_; }

    // The message for the file the text came from: "FILE:L:C: not valid
    // JSON: <plain words>" for a syntax error, "FILE: <what()>" otherwise.
    std::string inFile(const std::string& file) const;

  private:
    int line_ = 0, column_ = 0;
    std::string words_;
};

// The line and column (1-based, the column in bytes) of byte `offset` of
// `text`; an offset past the end is taken as the end.
std::pair<int, int> lineAndColumn(std::string_view text, std::size_t offset);

// Objects and arrays inside each other at most this deep.
inline constexpr std::size_t kMaxJsonDepth = 32;

// Parses `text`. Throws JsonError: a syntax error with its line and column,
// "<path>: appears twice in one object" or "<path>: nested deeper than N levels".
nlohmann::json parseStrictJson(std::string_view text, std::size_t maxDepth = kMaxJsonDepth);

}  // namespace platform
