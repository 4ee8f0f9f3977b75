// The one exception type for bad input: its message names the place.
#include <gtest/gtest.h>

#include "platform/input_error.h"
#include "platform/safe_input.h"

namespace {

TEST(InputError, TheMessageNamesFileLineAndMemberThatAreKnown) {
    const platform::InputError all({"bProj/Vellico/startup.pc", 16, "vb"}, "a number is missing");
    EXPECT_STREQ(all.what(), "bProj/Vellico/startup.pc: line 16: vb: a number is missing");
    EXPECT_EQ(all.where().line, 16);
    EXPECT_EQ(all.detail(), "a number is missing");

    EXPECT_STREQ(platform::InputError({{}, 7, {}}, "too many").what(), "line 7: too many");
    EXPECT_STREQ(platform::InputError({"s.json", 0, "exits"}, "not an array").what(),
                 "s.json: exits: not an array");
    const platform::InputError plain("floor.kvx: cannot be opened");
    EXPECT_STREQ(plain.what(), "floor.kvx: cannot be opened");
    EXPECT_EQ(plain.where().line, 0);
}

TEST(InputError, InputFileErrorsAreCaughtAsInputErrors) {
    try {
        platform::readRegularFile("/nonexistent/escape-setup/file", 1024);
        FAIL() << "no error";
    } catch (const platform::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/escape-setup/file"), std::string::npos);
    }
}

}  // namespace
