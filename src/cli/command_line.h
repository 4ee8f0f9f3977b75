#pragma once
// escape-build's command line: its options, read into a BuildRequest, and
// its help text.

#include <string>
#include <vector>

#include "scenario/build_request.h"

namespace cli {

// Reads the command line (argv[1..]): `--option value` or `--option=value`.
// Throws platform::InputError (scenario::UsageError for a value, a usage
// error for the command line itself).
scenario::BuildRequest parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace cli
