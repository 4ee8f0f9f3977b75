#pragma once
// The one error model of the house.
//
// Bad input (a file, a script line, an option, a scenario key that cannot be
// used) is thrown as an InputError, or a type derived from it, that names
// where it was found and what is wrong; every program catches it at its top
// and exits with its documented status for bad input. Steps that report and
// go on (a project build, a floor load) do not throw: they return a report
// with the list of their problems (generator::BuildReport,
// floorplan::LoadReport).

#include <stdexcept>
#include <string>

namespace platform {

// Where bad input was found. Parts that are not known stay empty (0 for the
// line).
struct InputLocation {
    std::string file;    // the file, as the user named it
    int line = 0;        // 1-based line in it
    std::string member;  // the option, key or field
};

// What the user got wrong: a file or value they gave (a project, a scenario,
// a sweep file, a value out of range), or the command line itself (an
// unknown option, a missing value, options that do not go together). Each
// program maps the kinds to its documented exit status in one place.
enum class InputErrorKind { BadInput, Usage };

class InputError : public std::runtime_error {
  public:
    // A message that already names its place.
    explicit InputError(const std::string& message,
                        InputErrorKind kind = InputErrorKind::BadInput);
    // what() is "<file>: line <n>: <member>: <detail>", without the parts
    // that are not known.
    InputError(InputLocation where, const std::string& detail,
               InputErrorKind kind = InputErrorKind::BadInput);

    const InputLocation& where() const { return where_; }
    // The message without the place (the whole message for the first form).
    const std::string& detail() const { return detail_; }
    InputErrorKind kind() const { return kind_; }

  private:
    InputLocation where_;
    std::string detail_;
    InputErrorKind kind_ = InputErrorKind::BadInput;
};

// A mistake on the command line: an InputError of kind Usage.
inline InputError usageError(const std::string& message) {
    return InputError(message, InputErrorKind::Usage);
}

}  // namespace platform
