// JSON written by people: syntax errors said with their line and column in
// plain words, keys twice and deep nesting refused.
#include "platform/strict_json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

platform::JsonError errorOf(const std::string& text) {
    try {
        platform::parseStrictJson(text);
    } catch (const platform::JsonError& e) {
        return e;
    }
    ADD_FAILURE() << "accepted: " << text;
    return platform::JsonError("accepted");
}

TEST(StrictJson, ASyntaxErrorNamesItsLineAndColumnInPlainWords) {
    // The comma after 3 on line 3 has no member after it.
    const platform::JsonError e = errorOf("{\n  \"pairs\": 3,\n  \"adults\" 4\n}\n");
    EXPECT_EQ(e.line(), 3);
    EXPECT_EQ(e.column(), 12);
    const std::string text = e.inFile("s.json");
    EXPECT_EQ(text.rfind("s.json:3:12: not valid JSON: ", 0), 0u) << text;
    EXPECT_EQ(text.find("json.exception"), std::string::npos) << text;
    EXPECT_EQ(text.find("parse_error"), std::string::npos) << text;
    EXPECT_NE(text.find("(in an object)"), std::string::npos) << text;

    // Cut short: the end of the text is named.
    const platform::JsonError cut = errorOf("[1, 2,\n");
    EXPECT_EQ(cut.line(), 2);
    EXPECT_EQ(cut.column(), 1);
    EXPECT_NE(std::string(cut.what()).find("unexpected end of input"), std::string::npos) << cut.what();
}

TEST(StrictJson, OtherRefusalsNameTheMemberAndHaveNoPosition) {
    const platform::JsonError twice = errorOf(R"({"model": {"B": 1, "B": 2}})");
    EXPECT_EQ(twice.line(), 0);
    EXPECT_EQ(twice.inFile("s.json"), "s.json: model.B: appears twice in one object");
    const platform::JsonError huge = errorOf("[1e400]");
    EXPECT_EQ(huge.line(), 0);
    EXPECT_EQ(std::string(huge.what()).rfind("not valid JSON: ", 0), 0u) << huge.what();
    EXPECT_EQ(std::string(huge.what()).find("json.exception"), std::string::npos) << huge.what();
    EXPECT_THROW(platform::parseStrictJson(std::string(40, '[') + std::string(40, ']')),
                 platform::JsonError);
}

TEST(StrictJson, LineAndColumnOfAnOffset) {
    EXPECT_EQ(platform::lineAndColumn("ab\ncd", 0), (std::pair<int, int>{1, 1}));
    EXPECT_EQ(platform::lineAndColumn("ab\ncd", 2), (std::pair<int, int>{1, 3}));  // the newline
    EXPECT_EQ(platform::lineAndColumn("ab\ncd", 3), (std::pair<int, int>{2, 1}));
    EXPECT_EQ(platform::lineAndColumn("ab\ncd", 99), (std::pair<int, int>{2, 3}));  // the end
    EXPECT_EQ(platform::lineAndColumn("", 0), (std::pair<int, int>{1, 1}));
}

}  // namespace
