#pragma once
// The command lines of mvnrt and escape-build, split by one library (CLI11)
// the same way: `--option value` and `--option=value` alike, an option given
// twice counts twice (in the order given), and every mistake is a usage
// error (platform::InputError of kind Usage) in the same words, with the
// nearest known option for a misspelt one.

#include <string>
#include <vector>

#include "platform/input_error.h"

namespace platform {

// An option a program knows: its names ("--quiet,-q"; the first long name
// is the one reported) and whether it takes a value.
struct KnownOption {
    std::string names;
    bool takesValue = true;
};

// One option as given: its first long name and its value ("" for a flag).
struct GivenOption {
    std::string name;
    std::string value;
};

// The options of `args` (argv[1..]) in the order given. Throws a usage
// error for an unknown option ("unknown option '--runz' (did you mean
// '--runs'?)"), a stray argument ("unexpected argument 'x'"), a value
// given to a flag, or an option without its value ("--out: a value is
// missing").
std::vector<GivenOption> splitCommandLine(const std::vector<KnownOption>& known,
                                          const std::vector<std::string>& args);

// A command line with operands: its options as splitCommandLine gives them,
// and the arguments that are not options (an output file's name, say) in
// the order given. Everything else is refused as splitCommandLine refuses it.
struct SplitArguments {
    std::vector<GivenOption> options;
    std::vector<std::string> operands;
};
SplitArguments splitCommandLineWithOperands(const std::vector<KnownOption>& known,
                                            const std::vector<std::string>& args);

// The name of `names` nearest to `given` by edit distance (insertions,
// deletions, substitutions and swaps of neighbours), when it is near enough
// to be a slip of the fingers (at most a third of its letters, at least 1,
// at most 3); "" when none is.
std::string nearestName(const std::string& given, const std::vector<std::string>& names);

// "PROGRAM: MESSAGE (see PROGRAM --help)": how both programs report a usage
// error.
std::string usageErrorLine(const std::string& program, const std::string& message);

}  // namespace platform
