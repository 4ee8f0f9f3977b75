// Safe output (temporary file + rename, links never followed, folders of
// our own) and safe input (regular files only, never blocking, bounded).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Runs `f` and fails the test when it takes longer than a few seconds (a
// blocking open on a FIFO would hang forever without the guard of ctest).
template <class F>
void quickly(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace

TEST(AtomicWrite, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    writeFile(dir / "out.txt", "old content that is longer");
    EXPECT_EQ(platform::writeFileAtomically(dir / "out.txt", "new"), "");
    EXPECT_EQ(readFile(dir / "out.txt"), "new");
    EXPECT_EQ(platform::writeFileAtomically(dir / "fresh.txt", ""), "");
    EXPECT_EQ(readFile(dir / "fresh.txt"), "");
    EXPECT_EQ(entriesIn(dir.path()), 2u);
}

TEST(AtomicWrite, AFailedOrAbandonedWriteKeepsThePreviousFile) {
    TempDir dir;
    writeFile(dir / "out.txt", "good");
    {
        platform::AtomicFile f(dir / "out.txt");
        f.write("half of it");
    }  // never committed
    EXPECT_EQ(readFile(dir / "out.txt"), "good");
    {
        platform::AtomicFile f(dir / "out.txt");
        f.write("some");
        f.discard();
        EXPECT_FALSE(f.commit());
    }
    EXPECT_EQ(readFile(dir / "out.txt"), "good");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicWrite, LinksAtTheTargetAreReplacedNotFollowed) {
    TempDir dir;
    fs::create_directory(dir / "tree");
    writeFile(dir / "victim.txt", "precious");
    fs::create_directory(dir / "victimdir");
    fs::create_symlink(dir / "victim.txt", dir / "tree/file-link");
    fs::create_symlink(dir / "nowhere/at/all", dir / "tree/dangling-link");
    fs::create_directory_symlink(dir / "victimdir", dir / "tree/dir-link");
    for (const char* name : {"file-link", "dangling-link", "dir-link"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(platform::writeFileAtomically(dir / "tree" / name, "mine"), "");
        EXPECT_FALSE(fs::is_symlink(dir / "tree" / name));
        EXPECT_EQ(readFile(dir / "tree" / name), "mine");
    }
    EXPECT_EQ(readFile(dir / "victim.txt"), "precious");
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_TRUE(fs::is_empty(dir / "victimdir"));
}

TEST(AtomicWrite, FifoAndFolderAtTheTarget) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    quickly([&] { EXPECT_EQ(platform::writeFileAtomically(dir / "pipe", "data"), ""); });
    EXPECT_TRUE(fs::is_regular_file(dir / "pipe"));

    fs::create_directory(dir / "folder");
    writeFile(dir / "folder/inside", "x");
    const std::string problem = platform::writeFileAtomically(dir / "folder", "data");
    EXPECT_NE(problem.find("folder: is a directory"), std::string::npos) << problem;
    EXPECT_EQ(readFile(dir / "folder/inside"), "x");
}

TEST(AtomicWrite, UnwritableAndOverlongPathsAreReportedByName) {
    TempDir dir;
    EXPECT_NE(platform::writeFileAtomically(dir / "missing/out.txt", "x").find("missing/out.txt"),
              std::string::npos);
    const std::string longName(300, 'n');
    const std::string problem = platform::writeFileAtomically(dir / longName, "x");
    EXPECT_NE(problem.find("cannot be written"), std::string::npos);
    EXPECT_LT(problem.size(), 400u);  // the name is cut short in the message
    if (::geteuid() != 0) {  // root writes into read-only folders
        fs::create_directory(dir / "ro");
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_NE(platform::writeFileAtomically(dir / "ro/out.txt", "x"), "");
    }
}

// A full disk: a small tmpfs is mounted when the test may (as root).
TEST(AtomicWrite, AFullDiskKeepsThePreviousFileIntact) {
    TempDir dir;
    const fs::path mnt = dir / "small";
    fs::create_directory(mnt);
    const testsupport::SmallDisk disk(mnt, "size=64k");
    if (!disk.mounted()) GTEST_SKIP() << disk.why() << "; the full-disk case is not tested";
    const std::string good(16 * 1024, 'g');
    ASSERT_EQ(platform::writeFileAtomically(mnt / "out.bin", good), "");
    const std::string big(200 * 1024, 'b');
    const std::string problem = platform::writeFileAtomically(mnt / "out.bin", big);
    EXPECT_NE(problem.find("No space left"), std::string::npos) << problem;
    EXPECT_EQ(readFile(mnt / "out.bin"), good);
    EXPECT_EQ(entriesIn(mnt), 1u);
}

TEST(Folders, OwnFoldersOnlyNeverLinksOrFiles) {
    TempDir dir;
    EXPECT_EQ(platform::folderProblem(dir / "new"), "");
    EXPECT_TRUE(fs::is_directory(dir / "new"));
    EXPECT_EQ(platform::folderProblem(dir / "new"), "");  // exists already
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "linked");
    fs::create_symlink(dir / "gone", dir / "dangling");
    writeFile(dir / "plain", "x");
    EXPECT_NE(platform::folderProblem(dir / "linked").find("linked: is a symbolic link"),
              std::string::npos);
    EXPECT_NE(platform::folderProblem(dir / "dangling").find("dangling: is a symbolic link"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "gone"));
    EXPECT_THROW(platform::requireFolder(dir / "plain"), platform::OutputError);
    EXPECT_NE(platform::folderProblem(dir / "a/b"), "");  // one level at a time
}

TEST(Folders, RemoveFileTakesTheLinkNotItsTarget) {
    TempDir dir;
    writeFile(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", dir / "link");
    EXPECT_EQ(platform::removeFile(dir / "link"), "");
    EXPECT_EQ(platform::removeFile(dir / "never-there"), "");
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    fs::create_directory(dir / "folder");
    EXPECT_NE(platform::removeFile(dir / "folder"), "");
}

TEST(SafeInput, RegularFilesAndLinksToThemAreRead) {
    TempDir dir;
    writeFile(dir / "in.txt", "content");
    fs::create_symlink(dir / "in.txt", dir / "link");
    EXPECT_EQ(platform::readRegularFile(dir / "in.txt", 100), "content");
    EXPECT_EQ(platform::readRegularFile(dir / "link", 7), "content");
    // System files report no size but have content; the limit still holds.
    EXPECT_FALSE(platform::readRegularFile("/proc/self/status", 1 << 20).empty());
    EXPECT_THROW(platform::readRegularFile("/proc/self/status", 10), platform::InputFileError);
}

TEST(SafeInput, FifosDevicesFoldersAndLargeFilesAreRefusedWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    writeFile(dir / "big", std::string(2000, 'x'));
    struct Case {
        fs::path file;
        const char* expected;
    };
    for (const Case& c : {Case{dir / "pipe", "pipe: is a FIFO"},
                          Case{"/dev/zero", "/dev/zero: is a device"},
                          Case{dir.path(), "is a directory"},
                          Case{dir / "big", "big: is 2000 bytes long; the limit is 1 KiB"},
                          Case{dir / "absent", "absent: does not exist"}}) {
        SCOPED_TRACE(c.file.string());
        quickly([&] {
            try {
                platform::readRegularFile(c.file, 1024);
                ADD_FAILURE() << "read";
            } catch (const platform::InputFileError& e) {
                EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
            }
            std::string why;
            EXPECT_FALSE(platform::openRegularFile(c.file, 1024, &why).isOpen());
            EXPECT_NE((c.file.string() + ": " + why).find(c.expected), std::string::npos) << why;
        });
    }
}

TEST(Messages, CappedCutsLongTextAtACharacterBoundary) {
    EXPECT_EQ(platform::capped("short", 10), "short");
    EXPECT_EQ(platform::capped(std::string(100, 'k'), 10), "kkkkkkk...");
    // "é" is two bytes; the cut never splits it.
    EXPECT_EQ(platform::capped("aaaaaa\xC3\xA9zzzz", 10), "aaaaaa...");
}
