// The command lines of both programs go through one splitter: these are the
// rules both rely on.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::GivenOption;
using platform::KnownOption;

const std::vector<KnownOption> kKnown = {
    {"--help,-h", false}, {"--quiet,-q", false}, {"--runs"}, {"--exit"}, {"--view-exit"}, {"--out"}};

std::string usageMessage(const std::vector<std::string>& args) {
    try {
        platform::splitCommandLine(kKnown, args);
    } catch (const platform::InputError& e) {
        EXPECT_EQ(e.kind(), platform::InputErrorKind::Usage) << e.what();
        return e.what();
    }
    return "(accepted)";
}

std::vector<std::string> flat(const std::vector<GivenOption>& given) {
    std::vector<std::string> out;
    for (const GivenOption& g : given) out.push_back(g.name + "=" + g.value);
    return out;
}

TEST(CommandLine, BothSpellingsOfAValueGiveTheSameOptionsInTheOrderGiven) {
    const auto spaced = platform::splitCommandLine(
        kKnown, {"--exit", "-3,4", "--view-exit", "0.5,-1", "--exit", "1,2", "-q"});
    const auto joined =
        platform::splitCommandLine(kKnown, {"--exit=-3,4", "--view-exit=0.5,-1", "--exit=1,2", "--quiet"});
    const std::vector<std::string> expected = {"--exit=-3,4", "--view-exit=0.5,-1", "--exit=1,2",
                                               "--quiet="};
    EXPECT_EQ(flat(spaced), expected);
    EXPECT_EQ(flat(joined), expected);
    // A value may itself look like a negative number or be empty.
    EXPECT_EQ(flat(platform::splitCommandLine(kKnown, {"--runs", "-1", "--out", ""})),
              (std::vector<std::string>{"--runs=-1", "--out="}));
    EXPECT_TRUE(platform::splitCommandLine(kKnown, {}).empty());
}

TEST(CommandLine, MistakesAreUsageErrorsThatNameTheOptionAndSuggestTheNearest) {
    EXPECT_EQ(usageMessage({"--runz", "3"}), "unknown option '--runz' (did you mean '--runs'?)");
    EXPECT_EQ(usageMessage({"--qiuet"}), "unknown option '--qiuet' (did you mean '--quiet'?)");
    EXPECT_EQ(usageMessage({"--ext=1,2"}), "unknown option '--ext' (did you mean '--exit'?)");
    // Nothing near enough: no guess.
    EXPECT_EQ(usageMessage({"--frobnicate"}), "unknown option '--frobnicate'");
    EXPECT_EQ(usageMessage({"stray"}), "unexpected argument 'stray'");
    EXPECT_EQ(usageMessage({"--runs"}), "--runs: a value is missing");
    EXPECT_EQ(usageMessage({"--quiet=yes"}), "--quiet takes no value, not 'yes'");
}

TEST(CommandLine, OperandsAreKeptInOrderWhereAProgramTakesThemAndMistakesStillRefused) {
    const auto split = platform::splitCommandLineWithOperands(
        kKnown, {"first.kvx", "--runs", "3", "second.kvx", "--out=x", "-q"});
    EXPECT_EQ(flat(split.options), (std::vector<std::string>{"--runs=3", "--out=x", "--quiet="}));
    EXPECT_EQ(split.operands, (std::vector<std::string>{"first.kvx", "second.kvx"}));
    // An option's value is never taken for an operand, and an unknown option
    // is refused with its nearest name wherever it stands.
    EXPECT_TRUE(platform::splitCommandLineWithOperands(kKnown, {"--out", "a.kvx"}).operands.empty());
    try {
        platform::splitCommandLineWithOperands(kKnown, {"a.kvx", "--runz", "3"});
        ADD_FAILURE() << "--runz accepted";
    } catch (const platform::InputError& e) {
        EXPECT_STREQ(e.what(), "unknown option '--runz' (did you mean '--runs'?)");
    }
}

TEST(CommandLine, TheNearestNameIsASlipOfTheFingersOrNothing) {
    const std::vector<std::string> names = {"--seed", "--seeds", "--speed", "--sweep"};
    EXPECT_EQ(platform::nearestName("--seeds", names), "--seeds");  // itself
    EXPECT_EQ(platform::nearestName("--sede", names), "--seed");    // two letters swapped
    EXPECT_EQ(platform::nearestName("--swep", names), "--sweep");   // one left out
    EXPECT_EQ(platform::nearestName("--zzzzzz", names), "");
    EXPECT_EQ(platform::nearestName("", names), "");
    EXPECT_EQ(platform::usageErrorLine("mvnrt", "x"), "mvnrt: x (see mvnrt --help)");
}

}  // namespace
