// What is ours to replace or remove in a results folder (the manifest's
// names), what an output may replace (a regular file only), the one shell
// quoting of the batch scripts and the one fixed-point number text.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/input_error.h"
#include "platform/number_text.h"
#include "platform/output_node.h"
#include "platform/owned_entries.h"
#include "platform/safe_output.h"
#include "platform/shell_words.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// A folder holding an earlier run of ours (a.txt, b.txt) and the user's own
// notes beside it.
void earlierRunWithNotes(const fs::path& folder) {
    fs::create_directories(folder);
    ASSERT_EQ(platform::claimNames(folder, {"a.txt", "b.txt"}), "");
    writeFile(folder / "a.txt", "old a");
    writeFile(folder / "b.txt", "old b");
    fs::create_directories(folder / "thesis");
    writeFile(folder / "thesis/chapter1.tex", "precious");
    writeFile(folder / "budget.xlsx", "precious too");
}

}  // namespace

TEST(OwnedEntries, OnlyTheManifestsNamesAreOursAndForeignNamesAreRefused) {
    TempDir dir;
    earlierRunWithNotes(dir.path());
    EXPECT_EQ(platform::ownedNames(dir.path()), (std::set<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(platform::foreignEntries(dir.path()),
              (std::vector<std::string>{"budget.xlsx", "thesis"}));
    // A temporary file of an unfinished write of ours is ours; a look-alike
    // of a name we never wrote is not.
    const std::set<std::string> owned = platform::ownedNames(dir.path());
    EXPECT_TRUE(platform::isOwned(owned, ".a.txt.tmp-123-4"));
    EXPECT_TRUE(platform::isOwned(owned, "..mvnrt-results.tmp-1-2"));
    EXPECT_FALSE(platform::isOwned(owned, ".budget.xlsx.tmp-1-2"));

    const std::string problem = platform::claimNames(dir.path(), {"a.txt", "budget.xlsx"});
    EXPECT_TRUE(has(problem, "holds budget.xlsx that mvnrt did not write")) << problem;
    EXPECT_EQ(platform::ownedNames(dir.path()).count("budget.xlsx"), 0u);
    for (const char* bad : {"", "..", "a/b", ".mvnrt-results"})
        EXPECT_NE(platform::claimNames(dir.path(), {bad}), "") << bad;

    // A manifest that is a link, or of another header, makes nothing ours.
    TempDir other;
    writeFile(other / "real-manifest", "mvnrt results 1\nbudget.xlsx\n");
    fs::create_symlink(other / "real-manifest", other / ".mvnrt-results");
    EXPECT_TRUE(platform::ownedNames(other.path()).empty());
    fs::remove(other / ".mvnrt-results");
    writeFile(other / ".mvnrt-results", "something else\nbudget.xlsx\n");
    EXPECT_TRUE(platform::ownedNames(other.path()).empty());
}

TEST(OwnedEntries, RemovalKeepsWhatIsNotOursAndTheFolderThatHoldsIt) {
    TempDir dir;
    const fs::path run = dir / "run-1";
    earlierRunWithNotes(run);
    EXPECT_TRUE(has(platform::removeOwned(run, "budget.xlsx"), "was not written by mvnrt"));
    EXPECT_EQ(readFile(run / "budget.xlsx"), "precious too");
    EXPECT_EQ(platform::removeOwned(run, "a.txt"), "");
    EXPECT_FALSE(fs::exists(run / "a.txt"));

    const platform::ClearedFolder cleared = platform::clearOwnedFolder(run);
    EXPECT_FALSE(cleared.removed);
    EXPECT_EQ(cleared.kept, (std::vector<std::string>{"budget.xlsx", "thesis"}));
    EXPECT_FALSE(fs::exists(run / "b.txt"));
    EXPECT_EQ(readFile(run / "thesis/chapter1.tex"), "precious");
    // The manifest stays while the folder does (nothing of ours is left in it).
    EXPECT_TRUE(fs::exists(run / ".mvnrt-results"));

    // A folder of nothing but ours goes whole; a link there is never followed.
    const fs::path own = dir / "run-2";
    fs::create_directories(own);
    ASSERT_EQ(platform::claimNames(own, {"x"}), "");
    writeFile(own / "x", "ours");
    writeFile(own / ".x.tmp-9-9", "half");
    EXPECT_TRUE(platform::clearOwnedFolder(own).removed);
    EXPECT_FALSE(fs::exists(own));
    fs::create_directory_symlink(run, dir / "link");
    const platform::ClearedFolder viaLink = platform::clearOwnedFolder(dir / "link");
    EXPECT_FALSE(viaLink.removed);
    EXPECT_TRUE(has(viaLink.problem, "symbolic link"));
    EXPECT_TRUE(fs::exists(run / "budget.xlsx"));
}

TEST(OwnedEntries, MovingARunInPlaceRenamesOurEntriesAndNeverDeletesTheTarget) {
    TempDir dir;
    const fs::path out = dir / "out";
    earlierRunWithNotes(out);
    const fs::path fresh = dir / ".out.partial-1";
    fs::create_directories(fresh);
    ASSERT_EQ(platform::claimNames(fresh, {"a.txt", "c.txt"}), "");
    writeFile(fresh / "a.txt", "new a");
    writeFile(fresh / "c.txt", "new c");

    EXPECT_EQ(platform::moveOwnedInto(fresh, out), "");
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(readFile(out / "a.txt"), "new a");
    EXPECT_EQ(readFile(out / "c.txt"), "new c");
    EXPECT_FALSE(fs::exists(out / "b.txt"));  // of the earlier run, not of this one
    EXPECT_EQ(readFile(out / "budget.xlsx"), "precious too");
    EXPECT_EQ(readFile(out / "thesis/chapter1.tex"), "precious");
    EXPECT_EQ(platform::ownedNames(out), (std::set<std::string>{"a.txt", "c.txt"}));

    // A foreign entry of a name the run has: nothing moves.
    fs::create_directories(fresh);
    ASSERT_EQ(platform::claimNames(fresh, {"budget.xlsx"}), "");
    writeFile(fresh / "budget.xlsx", "ours");
    const std::string problem = platform::moveOwnedInto(fresh, out);
    EXPECT_TRUE(has(problem, "holds budget.xlsx that mvnrt did not write")) << problem;
    EXPECT_EQ(readFile(out / "budget.xlsx"), "precious too");
    EXPECT_EQ(readFile(fresh / "budget.xlsx"), "ours");

    // Nothing at the target: the folder itself is renamed. A link or a
    // file at the target: refused, left alone.
    EXPECT_EQ(platform::moveOwnedInto(fresh, dir / "new"), "");
    EXPECT_EQ(readFile(dir / "new/budget.xlsx"), "ours");
    fs::create_directories(fresh);
    fs::create_directory_symlink(out, dir / "linked");
    EXPECT_TRUE(has(platform::moveOwnedInto(fresh, dir / "linked"), "symbolic link"));
    writeFile(dir / "plain", "a file");
    EXPECT_TRUE(has(platform::moveOwnedInto(fresh, dir / "plain"), "is not a folder"));
    EXPECT_EQ(readFile(dir / "plain"), "a file");
}

TEST(OutputNodes, OnlyARegularFileIsEverReplacedByAnOutput) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "victim", dir / "link");
    writeFile(dir / "victim", "precious");
    writeFile(dir / "plain", "old");
    EXPECT_EQ(platform::outputNodeProblem(dir / "plain"), "");
    EXPECT_EQ(platform::outputNodeProblem(dir / "absent"), "");
    EXPECT_TRUE(has(platform::outputNodeProblem(dir / "pipe"), "FIFO"));
    EXPECT_TRUE(has(platform::outputNodeProblem(dir / "folder"), "directory"));
    EXPECT_TRUE(has(platform::outputNodeProblem(dir / "link"), "symbolic link"));
    for (const char* name : {"pipe", "folder", "link"}) {
        const std::string problem = platform::writeFileAtomically(
            dir / name, "data", platform::Durability::Never, platform::Replacing::RegularFileOnly);
        EXPECT_TRUE(has(problem, name)) << problem;
    }
    EXPECT_EQ(fs::symlink_status(dir / "pipe").type(), fs::file_type::fifo);
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(platform::writeFileAtomically(dir / "plain", "new", platform::Durability::Never,
                                            platform::Replacing::RegularFileOnly),
              "");
    EXPECT_EQ(readFile(dir / "plain"), "new");
}

TEST(OutputNodes, ADeviceNodeStaysADevice) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    TempDir dir;
    // A copy of the system's full device (character device 1, 7).
    ASSERT_EQ(::mknod((dir / "full").c_str(), S_IFCHR | 0644, makedev(1, 7)), 0);
    const std::string problem = platform::writeFileAtomically(
        dir / "full", "data", platform::Durability::Never, platform::Replacing::RegularFileOnly);
    EXPECT_TRUE(has(problem, "character device")) << problem;
    EXPECT_EQ(fs::symlink_status(dir / "full").type(), fs::file_type::character);
}

TEST(ShellWords, QuotedForTheShellOrRefusedByName) {
    EXPECT_EQ(platform::shellWord("/a b/it's", "x"), "'/a b/it'\\''s'");
    EXPECT_EQ(platform::shellWord("$(rm -rf ~);`x`", "x"), "'$(rm -rf ~);`x`'");
    EXPECT_EQ(platform::shellWord("", "x"), "''");
    for (const auto& [text, named] :
         {std::pair{std::string("a\nrm -rf ~"), "a line break"},
          std::pair{std::string("a\rb"), "a carriage return"},
          std::pair{std::string("a\tb"), "a tab"}, std::pair{std::string("a\x1b[0m"), "0x1B"},
          std::pair{std::string("a\x7f"), "0x7F"}}) {
        try {
            platform::shellWord(text, "the sweep file's path");
            ADD_FAILURE() << "not refused: " << text;
        } catch (const platform::InputError& e) {
            EXPECT_TRUE(has(e.what(), "the sweep file's path")) << e.what();
            EXPECT_TRUE(has(e.what(), named)) << e.what();
        }
    }
}

TEST(NumberText, AnyFiniteDoubleAsPrintfWritesItAndNonFiniteNamed) {
    auto printed = [](double v, int d) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", d, v);
        return std::string(buf);
    };
    for (const double v : {0.0, 1.5, -2.25, 123456.789, 1e62, -1e300, DBL_MAX, -DBL_MAX,
                           DBL_MIN, 4.9e-324, 0.125, 2.5, 1e22})
        for (const int d : {0, 1, 4, 17}) EXPECT_EQ(platform::fixedText(v, d), printed(v, d)) << v;
    EXPECT_EQ(platform::fixedText(-1e300, 1).size(), 304u);
    EXPECT_EQ(platform::fixedText(-0.0, 3), "0.000");
    EXPECT_EQ(platform::fixedText(-0.0004, 3), "0.000");
    EXPECT_EQ(platform::fixedText(1.0, 99), printed(1.0, 17));
    EXPECT_EQ(platform::fixedText(1.0, -5), "1");
    EXPECT_EQ(platform::fixedText(std::nan(""), 2), "nan");
    EXPECT_EQ(platform::fixedText(std::numeric_limits<double>::infinity(), 2), "inf");
    EXPECT_EQ(platform::fixedText(-std::numeric_limits<double>::infinity(), 2), "-inf");
}

TEST(NumberText, AxisStepsAreOneTwoOrFiveTimesAPowerOfTenAndGiveAtMostTheTicksAskedFor) {
    for (const double range : {0.37, 1.0, 7.0, 33.03, 120.0, 999.0, 1.0e6, 3.3e-4}) {
        for (const int ticks : {1, 5, 8}) {
            const double step = platform::niceStep(range, ticks);
            const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
            EXPECT_TRUE(std::fabs(mantissa - 1.0) < 1e-9 || std::fabs(mantissa - 2.0) < 1e-9 ||
                        std::fabs(mantissa - 5.0) < 1e-9)
                << range << " " << ticks << ": " << step;
            EXPECT_GE(step * ticks, range * (1 - 1e-12)) << range << " " << ticks;  // the range fits
            EXPECT_LT(step * ticks, range * 5.0 + 1e-12) << range << " " << ticks;  // not far more
        }
    }
    EXPECT_EQ(platform::niceStep(10.0, 5), 2.0);
    EXPECT_EQ(platform::niceStep(33.03, 8), 5.0);
    for (const double bad : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(platform::niceStep(bad, 6), 1.0) << bad;
}
