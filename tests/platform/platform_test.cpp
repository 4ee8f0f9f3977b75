#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_support.h"

using testsupport::TempDir;

TEST(NativePath, BackslashRunsBecomeOneSeparator) {
    EXPECT_EQ(platform::nativePath(".\\bProj\\something.spj").string(), "./bProj/something.spj");
    EXPECT_EQ(platform::nativePath("unchanged\\\\floor.kvx").string(), "unchanged/floor.kvx");
    EXPECT_EQ(platform::nativePath("/abs/path/floor.kvx").string(), "/abs/path/floor.kvx");
    EXPECT_EQ(platform::nativePath("plain.kvx").string(), "plain.kvx");
}

TEST(NativePath, DoubledSeparatorOpensTheSameFile) {
    TempDir dir;
    testsupport::writeFile(dir / "unchanged/floor.kvx", "abc");
    testsupport::ScopedCurrentDirectory cd(dir.path());
    EXPECT_EQ(testsupport::readFile(platform::nativePath("unchanged\\\\floor.kvx")), "abc");
    EXPECT_EQ(testsupport::readFile(platform::nativePath("unchanged\\floor.kvx")), "abc");
}

TEST(Directories, CreateOneLevelAndReportExisting) {
    TempDir dir;
    testsupport::ScopedCurrentDirectory cd(dir.path());
    EXPECT_TRUE(platform::createDirectory("bProj"));
    EXPECT_FALSE(platform::createDirectory("bProj"));  // exists already
    EXPECT_FALSE(platform::createDirectory("missing\\child"));  // one level at a time
    EXPECT_TRUE(platform::createDirectory("bProj\\StateMachines"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "bProj/StateMachines"));
}

TEST(Directories, SetCurrentDirectoryRoundTrip) {
    TempDir dir;
    testsupport::ScopedCurrentDirectory cd(std::filesystem::temp_directory_path());
    ASSERT_TRUE(platform::setCurrentDirectory(dir.path().string()));
    EXPECT_EQ(std::filesystem::path(platform::currentDirectory()),
              std::filesystem::canonical(dir.path()));
    EXPECT_FALSE(platform::setCurrentDirectory((dir / "nope").string()));
}

namespace {
struct EnvGuard {
    explicit EnvGuard(const char* value) {
        if (value) ::setenv(platform::kRuntimeEnvironmentVariable, value, 1);
        else ::unsetenv(platform::kRuntimeEnvironmentVariable);
    }
    ~EnvGuard() { ::unsetenv(platform::kRuntimeEnvironmentVariable); }
};

bool waitForFile(const std::filesystem::path& p) {
    for (int i = 0; i < 200; ++i) {
        if (std::filesystem::exists(p) && std::filesystem::file_size(p) > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}
}  // namespace

TEST(StartRuntime, DefaultIsMvnrtBesideTheExecutable) {
    EnvGuard env(nullptr);
    EXPECT_EQ(std::filesystem::path(platform::runtimeProgram()),
              platform::executableDirectory() / "mvnrt");
    EnvGuard empty("");
    EXPECT_EQ(std::filesystem::path(platform::runtimeProgram()).filename(), "mvnrt");
}

TEST(StartRuntime, RunsInTheStartDirectoryWithoutArguments) {
    TempDir dir;
    auto script = dir / "recorder.sh";
    testsupport::writeFile(script, "#!/bin/sh\npwd > \"$0.out\"\necho \"$#\" >> \"$0.out\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    auto work = dir / "start dir";
    std::filesystem::create_directory(work);
    EnvGuard env(script.c_str());
    auto result = platform::startRuntime(work.string());
    ASSERT_TRUE(result.started) << result.error;
    auto out = dir / "recorder.sh.out";
    ASSERT_TRUE(waitForFile(out));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(testsupport::readFile(out), std::filesystem::canonical(work).string() + "\n0\n");
}

TEST(StartRuntime, MissingProgramAndMissingDirectoryAreReported) {
    TempDir dir;
    {
        EnvGuard env((dir / "no-such-runtime").c_str());
        auto result = platform::startRuntime(dir.path().string());
        EXPECT_FALSE(result.started);
        EXPECT_NE(result.error.find("no-such-runtime"), std::string::npos) << result.error;
    }
    {
        EnvGuard env("/bin/true");
        auto result = platform::startRuntime((dir / "gone").string());
        EXPECT_FALSE(result.started);
        EXPECT_NE(result.error.find("gone"), std::string::npos) << result.error;
    }
}
