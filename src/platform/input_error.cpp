#include "platform/input_error.h"

#include <utility>

namespace platform {

namespace {

std::string withPlace(const InputLocation& where, const std::string& detail) {
    std::string out;
    if (!where.file.empty()) out += where.file + ": ";
    if (where.line > 0) out += "line " + std::to_string(where.line) + ": ";
    if (!where.member.empty()) out += where.member + ": ";
    return out + detail;
}

}  // namespace

InputError::InputError(const std::string& message, InputErrorKind kind)
    : std::runtime_error(message), detail_(message), kind_(kind) {}

InputError::InputError(InputLocation where, const std::string& detail, InputErrorKind kind)
    : std::runtime_error(withPlace(where, detail)), where_(std::move(where)), detail_(detail),
      kind_(kind) {}

}  // namespace platform
