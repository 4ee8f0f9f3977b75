// escape-build's scenario files from careless or hostile hands: keys twice,
// deep nesting, huge values, files that are not files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "scenario/build_request.h"
#include "support/test_support.h"

namespace {

std::string errorOf(const std::string& text) {
    try {
        scenario::parseScenarioText(text, "scenario file 's.json'");
    } catch (const scenario::UsageError& e) {
        return e.what();
    }
    return "(read without an error)";
}

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST(BuildScenarioText, DuplicateKeysDeepNestingAndHugeValuesAreRefusedBriefly) {
    EXPECT_TRUE(has(errorOf(R"({"pairs": 3, "pairs": 4})"), "s.json': pairs: appears twice"));
    EXPECT_TRUE(has(errorOf(R"({"viewExits": [[0, 0]], "viewExits": []})"), "viewExits: appears twice"));
    // A few thousand levels overflowed the stack; now refused at a small depth.
    EXPECT_TRUE(has(errorOf(std::string(5000, '[') + std::string(5000, ']')), "nested deeper than"));
    EXPECT_TRUE(has(errorOf(R"({"pairs": )" + std::string(100000, '[')), "nested deeper than"));
    const std::string key(1 << 20, 'k');
    const std::string unknown = errorOf("{\"" + key + "\": 1}");
    EXPECT_TRUE(has(unknown, "unknown key")) << unknown.substr(0, 200);
    EXPECT_LT(unknown.size(), 300u);
    std::string many;
    for (int i = 0; i < 50000; ++i) many += "1,";
    const std::string big = errorOf("{\"pairs\": [" + many + "1]}");
    EXPECT_TRUE(has(big, "'pairs' must be a count"));
    EXPECT_LT(big.size(), 300u);
    EXPECT_TRUE(has(errorOf(R"({"scale": 1e400})"), "not valid JSON"));
    // A syntax error names where it is as LINE:COLUMN after the file, in
    // plain words rather than the parser's own codes.
    const std::string syntax = errorOf("{\n  \"pairs\": 3,\n}");
    EXPECT_TRUE(has(syntax, ":3:1: not valid JSON")) << syntax;
    EXPECT_FALSE(has(syntax, "json.exception")) << syntax;
    EXPECT_LT(errorOf("{\"pairs\": " + std::string(100000, '1') + "}").size(), 400u);
    // What was fine stays fine.
    const scenario::BuildRequest r = scenario::parseScenarioText(R"({"pairs": 3, "viewExits": [[0.5, 0.5]]})", "s");
    EXPECT_EQ(r.pairs, 3);
    ASSERT_TRUE(r.exits);
    EXPECT_EQ(r.exits->size(), 1u);
}

TEST(BuildScenarioText, OnlyRegularFilesOfBoundedSizeAreRead) {
    testsupport::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.json").c_str(), 0644), 0);
    testsupport::writeFile(dir / "huge.json", std::string(scenario::kMaxScenarioFileBytes + 1, ' '));
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [file, why] : {std::pair<std::string, std::string>{(dir / "pipe.json").string(), "is a FIFO"},
                                    {"/dev/zero", "is a device"},
                                    {(dir / "huge.json").string(), "the limit is 1 MiB"},
                                    {dir.path().string(), "is a directory"}}) {
        try {
            scenario::readScenarioFile(file);
            ADD_FAILURE() << file;
        } catch (const scenario::UsageError& e) {
            EXPECT_TRUE(has(e.what(), "cannot read it: ")) << e.what();
            EXPECT_TRUE(has(e.what(), why)) << e.what();
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
