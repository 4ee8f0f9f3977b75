#pragma once
// Text from the user written into a shell script (the batch scripts of a
// cluster): every name and path goes through shellWord(), the one place
// that quotes for a POSIX shell.

#include <string>
#include <string_view>

namespace platform {

// The character of `text` that no quoting makes safe in a script line (a
// line break, a carriage return, another control character or DEL), as its
// position; std::string_view::npos when there is none.
std::size_t unquotableAt(std::string_view text);

// `text` as one word for a POSIX shell: in single quotes, each ' written as
// '\''. Throws platform::InputError naming `what` (the option or file the
// text came from) and the character when `text` holds a line break or
// another control character, which would end a script line (and a comment)
// where the text stands.
std::string shellWord(std::string_view text, std::string_view what);

}  // namespace platform
