#include "generator/template_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "support/test_support.h"

using generator::TemplateCopy;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

class TemplateCopyTest : public ::testing::Test {
  protected:
    TempDir dir;
    testsupport::ScopedCurrentDirectory cd{dir.path()};
};

TEST_F(TemplateCopyTest, CopiesBytesUnchanged) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
    const std::string sources[] = {
        "line one\r\nline two\r\n",  // CR LF stays CR LF
        "line one\nline two\n",      // bare line feeds stay bare
        "no line end at the end",    // nothing is added
        "a\x1a"
        "b\xff"
        "c\xff\xff\x1a\n",  // 0x1A and 0xFF do not end the copy
        "\r\r\n\n\r",
        everyByte,
        "",
    };
    for (const auto& content : sources) {
        writeFile(dir / "unchanged/t.kvx", content);
        const auto report = TemplateCopy(".\\unchanged\\t.kvx", ".\\copy.kvx");
        EXPECT_TRUE(report.complete) << report.problem;
        EXPECT_EQ(report.bytes, content.size());
        EXPECT_EQ(readFile(dir / "copy.kvx"), content);
    }
}

TEST_F(TemplateCopyTest, LargeFileSpanningManyBlocks) {
    std::string content(5 * 1024 * 1024 + 17, '\0');
    std::mt19937 random(42);
    for (auto& c : content) c = static_cast<char>(random() & 0xff);
    writeFile(dir / "big.kvx", content);
    writeFile(dir / "copy.kvx", std::string(10 * 1024 * 1024, 'x'));  // longer: must shrink
    const auto report = TemplateCopy("big.kvx", "copy.kvx");
    EXPECT_TRUE(report.complete) << report.problem;
    EXPECT_EQ(readFile(dir / "copy.kvx"), content);
}

#ifdef __linux__
TEST_F(TemplateCopyTest, SpecialFileThatReportsNoSizeIsStillCopied) {
    const auto report = TemplateCopy("/proc/version", "copy.kvx");
    EXPECT_TRUE(report.complete) << report.problem;
    EXPECT_GT(report.bytes, 0u);
    EXPECT_EQ(readFile(dir / "copy.kvx"), readFile("/proc/version"));
}
#endif

TEST_F(TemplateCopyTest, MissingSourceLeavesAnEmptyDestination) {
    writeFile(dir / "copy.kvx", "old content");
    auto report = TemplateCopy(".\\unchanged\\missing.kvx", ".\\copy.kvx");
    EXPECT_FALSE(report.sourceOpened);
    EXPECT_TRUE(report.destinationOpened);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.problem, "source missing");
    EXPECT_EQ(report.failure, generator::CopyProblem::SourceMissing);
    EXPECT_EQ(report.cause, "");
    EXPECT_EQ(readFile(dir / "copy.kvx"), "");

    report = TemplateCopy("missing.kvx", "fresh.kvx");  // created even so
    EXPECT_TRUE(std::filesystem::exists(dir / "fresh.kvx"));
    EXPECT_EQ(std::filesystem::file_size(dir / "fresh.kvx"), 0u);
}

TEST_F(TemplateCopyTest, DirectoryAsSourceIsUnreadable) {
    std::filesystem::create_directory(dir / "folder.kvx");
    const auto report = TemplateCopy("folder.kvx", "copy.kvx");
    EXPECT_FALSE(report.sourceOpened);
    EXPECT_EQ(report.failure, generator::CopyProblem::SourceUnreadable);
    EXPECT_EQ(report.problem, "source unreadable: " + report.cause);
    EXPECT_FALSE(report.cause.empty());
    EXPECT_EQ(readFile(dir / "copy.kvx"), "");
}

TEST_F(TemplateCopyTest, UnwritableDestinationLeavesTheSourceAlone) {
    writeFile(dir / "t.kvx", "template");
    std::filesystem::create_directory(dir / "copy.kvx");  // a directory in its place
    writeFile(dir / "copy.kvx/inside", "kept");
    const auto report = TemplateCopy("t.kvx", "copy.kvx");
    EXPECT_TRUE(report.sourceOpened);
    EXPECT_FALSE(report.destinationOpened);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.failure, generator::CopyProblem::DestinationUnopenable);
    EXPECT_EQ(report.problem, "could not open for writing: " + report.cause);
    EXPECT_EQ(readFile(dir / "t.kvx"), "template");
    EXPECT_EQ(readFile(dir / "copy.kvx/inside"), "kept");

    // A destination in a folder that does not exist.
    EXPECT_FALSE(TemplateCopy("t.kvx", "no\\such\\folder\\copy.kvx").destinationOpened);
}

TEST_F(TemplateCopyTest, SameFileIsNeverEmptied) {
    writeFile(dir / "bProj/Floor.kvx", "the floor");
    for (const char* source : {".\\bProj\\Floor.kvx", "bProj\\\\Floor.kvx", "bProj/Floor.kvx"}) {
        const auto report = TemplateCopy(source, ".\\bProj\\Floor.kvx");
        EXPECT_TRUE(report.sameFile) << source;
        EXPECT_TRUE(report.complete);
        EXPECT_EQ(readFile(dir / "bProj/Floor.kvx"), "the floor");
    }
    const auto absolute = (dir / "bProj/Floor.kvx").string();
    EXPECT_TRUE(TemplateCopy(absolute, ".\\bProj\\Floor.kvx").sameFile);
    std::filesystem::create_hard_link(dir / "bProj/Floor.kvx", dir / "link.kvx");
    EXPECT_TRUE(TemplateCopy("link.kvx", ".\\bProj\\Floor.kvx").sameFile);
    EXPECT_EQ(readFile(dir / "bProj/Floor.kvx"), "the floor");
}

}  // namespace
