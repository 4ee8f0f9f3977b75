// The results root: one folder per run, `latest`, and the lock that keeps a
// second runtime out.
#include <gtest/gtest.h>
#include <unistd.h>

#include "run/results_layout.h"
#include "run/run_lock.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

TEST(ResultsLayout, EachRunGetsAFolderOfItsKindAndTimeAndLatestNamesOne) {
    TempDir dir;
    const fs::path root = dir / "results";
    const fs::path a = runtime::makeRunFolder(root, runtime::kSingleRunKind);
    const fs::path b = runtime::makeRunFolder(root, runtime::kSingleRunKind);
    const fs::path c = runtime::makeRunFolder(root, runtime::kManyRunsKind);
    EXPECT_TRUE(fs::is_directory(a) && fs::is_directory(b) && fs::is_directory(c));
    EXPECT_NE(a, b);
    EXPECT_EQ(a.filename().string().rfind("single-20", 0), 0u) << a;
    EXPECT_EQ(c.filename().string().rfind("runs-20", 0), 0u) << c;
    // A folder of the same second is told apart by a number; the newest of
    // a kind is found by name, numbers counted as numbers.
    fs::create_directory(root / (a.filename().string() + "-10"));
    fs::create_directory(root / (a.filename().string() + "-9"));
    fs::create_directory(root / "single-notatime");
    EXPECT_EQ(runtime::newestRunFolder(root, runtime::kSingleRunKind)->filename(),
              a.filename().string() + "-10");
    EXPECT_EQ(runtime::newestRunFolder(root, runtime::kManyRunsKind), c);
    EXPECT_FALSE(runtime::newestRunFolder(dir / "none", runtime::kManyRunsKind).has_value());

    EXPECT_EQ(runtime::pointLatest(root, a), "");
    EXPECT_EQ(fs::read_symlink(root / "latest"), a.filename());
    EXPECT_EQ(runtime::pointLatest(root, b), "");
    EXPECT_EQ(fs::read_symlink(root / "latest"), b.filename());
    // A link where the root should be is refused.
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "linked");
    EXPECT_THROW(runtime::makeRunFolder(dir / "linked", runtime::kSingleRunKind),
                 std::runtime_error);
}

TEST(RunLock, ASecondHolderIsRefusedWithTheFirstNamedAndALeftLockIsTakenOver) {
    TempDir dir;
    const fs::path lockFile = dir / runtime::kLockName;
    {
        runtime::RunLock first(dir.path());
        EXPECT_EQ(first.tookOver().pid, 0);
        const runtime::LockHolder named = runtime::parseLock(testsupport::readFile(lockFile));
        EXPECT_EQ(named.pid, ::getpid());
        EXPECT_FALSE(named.host.empty());
        EXPECT_EQ(named.started.size(), 19u) << named.started;
        // flock() locks per open file: a second lock, even in this process,
        // is another runtime's.
        try {
            runtime::RunLock second(dir.path());
            FAIL() << "two holders";
        } catch (const runtime::ResultsBusy& e) {
            EXPECT_EQ(e.holder().pid, ::getpid());
            const std::string what = e.what();
            EXPECT_NE(what.find("is in use by mvnrt (process " + std::to_string(::getpid())),
                      std::string::npos)
                << what;
        }
    }
    EXPECT_FALSE(fs::exists(lockFile));  // released and removed

    // A lock file whose process died without removing it (no flock held).
    testsupport::writeFile(lockFile, "mvnrt lock 1\npid 999999\nhost h\nstarted 2026-01-01 00:00:00\n");
    {
        runtime::RunLock taken(dir.path());
        EXPECT_EQ(taken.tookOver().pid, 999999);
        EXPECT_EQ(runtime::parseLock(testsupport::readFile(lockFile)).pid, ::getpid());
    }
    // Not a lock of ours: nobody is named, and a link is refused.
    EXPECT_EQ(runtime::parseLock("something else\npid 12\n").pid, 0);
    fs::create_symlink(dir / "target", lockFile);
    EXPECT_THROW(runtime::RunLock linked(dir.path()), std::runtime_error);
}
