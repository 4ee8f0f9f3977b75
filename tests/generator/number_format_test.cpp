#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>

#include "generator/generated_texts.h"
#include "generator/project_builder.h"

using projectformat::formatReal;

namespace {

TEST(FormatReal, GeneralNotationWithSixDigits) {
    EXPECT_EQ(formatReal(5.0f), "5");
    EXPECT_EQ(formatReal(-12.5f), "-12.5");
    EXPECT_EQ(formatReal(17.34f), "17.34");
    EXPECT_EQ(formatReal(static_cast<float>(100.0 * static_cast<double>(1.4285715f))), "142.857");
    EXPECT_EQ(formatReal(123456.0f), "123456");
    EXPECT_EQ(formatReal(0.0001f), "0.0001");
    EXPECT_EQ(formatReal(0.5f), "0.5");
    EXPECT_EQ(formatReal(-30.25f), "-30.25");
}

TEST(FormatReal, ExponentHasSignAndThreeDigits) {
    EXPECT_EQ(formatReal(1000000.0f), "1e+006");
    EXPECT_EQ(formatReal(1234567.0f), "1.23457e+006");
    EXPECT_EQ(formatReal(0.00001f), "1e-005");
    EXPECT_EQ(formatReal(-0.00001f), "-1e-005");
    EXPECT_EQ(formatReal(999999.5f), "1e+006");  // rounds up into exponent notation
    EXPECT_EQ(formatReal(3.4028235e38f), "3.40282e+038");
}

TEST(FormatReal, ZeroHasNoSign) {
    EXPECT_EQ(formatReal(0.0f), "0");
    EXPECT_EQ(formatReal(-0.0f), "0");
}

// A locale with a decimal comma and grouping, as a German desktop would have.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class ScopedGlobalLocale {
  public:
    explicit ScopedGlobalLocale(const std::locale& l) : previous_(std::locale::global(l)) {}
    ~ScopedGlobalLocale() { std::locale::global(previous_); }

  private:
    std::locale previous_;
};

void expectLocaleFree() {
    EXPECT_EQ(formatReal(142.857f), "142.857");
    EXPECT_EQ(formatReal(1234567.0f), "1.23457e+006");
    EXPECT_EQ(formatReal(-15.5f), "-15.5");
    scenario::ScenarioSettings s;
    s.pairCount = 50;
    s.floorScale = 100;
    const std::string script = generator::startupScriptText(s);
    EXPECT_NE(script.find("\tglobal var TotalPeople=100;\n"), std::string::npos);
    EXPECT_NE(script.find("\tT.position.x = -142.857;\n"), std::string::npos);
    EXPECT_NE(script.find("\tT.position.y = 28.5714;\n"), std::string::npos);
}

TEST(FormatReal, IgnoresTheGlobalCppLocale) {
    ScopedGlobalLocale scoped(std::locale(std::locale::classic(), new CommaPunct));
    expectLocaleFree();
}

TEST(FormatReal, IgnoresAGermanCLocale) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252"};
    std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* found = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            found = name;
            break;
        }
    }
    if (found == nullptr) GTEST_SKIP() << "no German locale installed";
    std::locale german;
    try {
        german = std::locale(found);
    } catch (const std::runtime_error&) {
        german = std::locale::classic();
    }
    {
        ScopedGlobalLocale scoped(german);
        expectLocaleFree();
    }
    std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
