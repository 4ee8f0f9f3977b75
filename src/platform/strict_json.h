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
#include <string_view>

#include "platform/input_error.h"

namespace platform {

class JsonError : public InputError {
  public:
    using InputError::InputError;
};

// Objects and arrays inside each other at most this deep.
inline constexpr std::size_t kMaxJsonDepth = 32;

// Parses `text`. Throws JsonError: "not valid JSON: <where and why>",
// "<path>: appears twice in one object" or "<path>: nested deeper than N levels".
nlohmann::json parseStrictJson(std::string_view text, std::size_t maxDepth = kMaxJsonDepth);

}  // namespace platform
