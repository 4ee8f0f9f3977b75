#include "platform/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

#include "platform/safe_output.h"

namespace platform {

namespace {

std::string quoted(const std::string& text) { return "'" + capped(text, 200) + "'"; }

// Optimal string alignment distance: edits of one letter, and two
// neighbours swapped.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The first long name of "--quiet,-q" (or the first name when none is long).
std::string reportedName(const std::string& names) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t comma = std::min(names.find(',', start), names.size());
        parts.push_back(names.substr(start, comma - start));
        start = comma + 1;
    }
    for (const std::string& p : parts)
        if (p.rfind("--", 0) == 0) return p;
    return parts.front();
}

[[noreturn]] void unknown(const std::string& argument, const std::vector<KnownOption>& known) {
    if (argument.empty() || argument[0] != '-') throw usageError("unexpected argument " + quoted(argument));
    const std::string option = argument.substr(0, argument.find('='));
    std::vector<std::string> names;
    for (const KnownOption& o : known) names.push_back(reportedName(o.names));
    const std::string near = nearestName(option, names);
    throw usageError("unknown option " + quoted(option) +
                     (near.empty() ? std::string() : " (did you mean " + quoted(near) + "?)"));
}

}  // namespace

std::string nearestName(const std::string& given, const std::vector<std::string>& names) {
    const std::size_t allowed = std::clamp<std::size_t>(given.size() / 3, 1, 3);
    std::string best;
    std::size_t bestDistance = allowed + 1;
    for (const std::string& name : names) {
        const std::size_t d = editDistance(given, name);
        if (d < bestDistance) {
            best = name;
            bestDistance = d;
        }
    }
    return best;
}

namespace {

SplitArguments split(const std::vector<KnownOption>& known, const std::vector<std::string>& args,
                     bool operandsAllowed) {
    CLI::App app;
    app.set_help_flag();  // --help is an option of the program like any other
    app.allow_extras(true);
    std::map<const CLI::Option*, std::pair<std::string, bool>> declared;
    for (const KnownOption& o : known) {
        CLI::Option* option = o.takesValue ? app.add_option(o.names) : app.add_flag(o.names);
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        declared[option] = {reportedName(o.names), o.takesValue};
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // A missing value is the one mistake CLI11 stops at; its message
        // begins with the option's name.
        const std::string what = e.what();
        const std::string name = what.substr(0, what.find(':'));
        if (e.get_name() == "ArgumentMismatch" && name.rfind("-", 0) == 0)
            throw usageError(name + ": a value is missing");
        throw usageError(what);
    }
    SplitArguments result;
    for (const std::string& extra : app.remaining()) {
        if (operandsAllowed && !extra.empty() && extra[0] != '-')
            result.operands.push_back(extra);
        else
            unknown(extra, known);
    }

    std::vector<GivenOption>& out = result.options;
    std::map<const CLI::Option*, std::size_t> used;
    for (const CLI::Option* option : app.parse_order()) {
        const auto& [name, takesValue] = declared.at(option);
        const std::size_t k = used[option]++;
        const auto& results = option->results();
        if (!takesValue) {
            // CLI11 takes "--flag=x" as a value for the flag; a flag has none.
            const std::string given = k < results.size() ? results[k] : std::string();
            if (given != "true" && given != "1" && !given.empty())
                throw usageError(name + " takes no value, not " + quoted(given));
            out.push_back({name, std::string()});
        } else {
            out.push_back({name, k < results.size() ? results[k] : std::string()});
        }
    }
    return result;
}

}  // namespace

std::vector<GivenOption> splitCommandLine(const std::vector<KnownOption>& known,
                                          const std::vector<std::string>& args) {
    return split(known, args, false).options;
}

SplitArguments splitCommandLineWithOperands(const std::vector<KnownOption>& known,
                                            const std::vector<std::string>& args) {
    return split(known, args, true);
}

std::string usageErrorLine(const std::string& program, const std::string& message) {
    return program + ": " + capped(message, 1000) + " (see " + program + " --help)";
}

}  // namespace platform
