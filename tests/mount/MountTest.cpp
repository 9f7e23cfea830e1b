// velmora-dat mount through the kernel: the same shell steps run in the mounted folder and in a
// plain copy of the tree, and the archive must then equal a build of the copy.

#include "tests/cli/RunProgram.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {

using clitest::finishProgram;
using clitest::runDat;
using clitest::runProgram;
using clitest::Started;

bool hasFuse()
{
    return access("/dev/fuse", R_OK | W_OK) == 0 &&
           std::system("command -v fusermount3 >/dev/null 2>&1") == 0;
}

#define REQUIRE_FUSE()                                                                             \
    do {                                                                                           \
        if (!hasFuse()) {                                                                          \
            if (std::getenv("VELMORA_REQUIRE_FUSE") && *std::getenv("VELMORA_REQUIRE_FUSE"))       \
                FAIL() << "no /dev/fuse or fusermount3, which this run requires";                  \
            GTEST_SKIP() << "no /dev/fuse or fusermount3: nothing can be mounted here";            \
        }                                                                                          \
    } while (0)

// A shell line bounded in time, so a stuck mount fails the test instead of holding it.
int shell(const std::string& line)
{
    const std::string quoted = "'" + line + "'";
    return std::system(("timeout -s KILL 60 sh -c " + quoted + " >/dev/null 2>&1").c_str());
}

class MountFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_archive = m_dir / "GAME00.DAT";
        m_tree = m_dir / "tree";
        m_folder = m_dir / "mnt";
        std::filesystem::create_directories(m_dir.path() / "tree" / "sub" / "deep");
        std::filesystem::create_directories(m_dir.path() / "mnt");
        testsupport::writeFile(m_tree + "/a.txt", "first line\nsecond line\n");
        testsupport::writeFile(m_tree + "/sub/b.bmp", std::string(300000, 'b'));
        testsupport::writeFile(m_tree + "/sub/deep/c.wav", "ccc");
        testsupport::writeFile(m_tree + "/\xE4\xB8\xAD\xE6\x96\x87.scr", "big5 name");
        ASSERT_EQ(runDat({"build", m_tree, m_archive}).exitCode, 0);
    }

    void TearDown() override
    {
        if (m_mount.pid > 0) {
            shell("fusermount3 -uz " + m_folder);
            kill(m_mount.pid, SIGKILL);
            finishProgram(m_mount);
        }
        shell("fusermount3 -uz " + m_folder + " || umount -l " + m_folder);
    }

    // Starts a mount in the foreground and waits until the folder is mounted.
    bool mount(std::vector<std::string> options)
    {
        options.insert(options.begin(), "mount");
        options.insert(options.end(), {"-f", m_archive, m_folder});
        m_mount = clitest::startDat(options);
        struct stat outer {};
        stat(m_dir.str().c_str(), &outer);
        for (int i = 0; i < 200; ++i) {
            struct stat inner {};
            if (stat(m_folder.c_str(), &inner) == 0 && inner.st_dev != outer.st_dev)
                return true;
            int status = 0;
            if (waitpid(m_mount.pid, &status, WNOHANG) == m_mount.pid) {
                m_mount.pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Unmounts and waits for the mount's last commit: its exit status and messages.
    clitest::RunResult unmount()
    {
        shell("fusermount3 -u " + m_folder);
        clitest::RunResult result = finishProgram(m_mount);
        m_mount.pid = -1;
        return result;
    }

    void killMount()
    {
        kill(m_mount.pid, SIGKILL);
        finishProgram(m_mount);
        m_mount.pid = -1;
        shell("fusermount3 -uz " + m_folder);
    }

    // The archive equals what build makes of the folder.
    void expectArchiveIsBuildOf(const std::string& folder, const std::string& what)
    {
        const std::string built = m_dir / "built.dat";
        std::filesystem::remove(built);
        ASSERT_EQ(runDat({"build", folder, built}).exitCode, 0) << what;
        EXPECT_TRUE(testsupport::readFile(m_archive) == testsupport::readFile(built)) << what;
    }

    testsupport::TempDir m_dir;
    std::string m_archive;
    std::string m_tree;
    std::string m_folder;
    Started m_mount;
};

TEST_F(MountFixture, ReadsEveryEntryAsExtractWritesIt)
{
    REQUIRE_FUSE();
    ASSERT_EQ(runDat({"extract", m_archive, m_dir / "out"}).exitCode, 0);
    ASSERT_TRUE(mount({"-r"}));
    EXPECT_EQ(shell("diff -r " + m_folder + " " + (m_dir / "out")), 0);
    EXPECT_NE(shell("touch " + m_folder + "/new"), 0);
    EXPECT_EQ(unmount().exitCode, 0);
}

// In the background the mount works from "/": relative paths must still reach the archive.
TEST_F(MountFixture, ABackgroundMountOfARelativePathCommits)
{
    REQUIRE_FUSE();
    ASSERT_EQ(shell("cd " + m_dir.str() + " && " + VELMORA_DAT_PATH +
                    " mount GAME00.DAT mnt && echo x > mnt/x.txt && fusermount3 -u mnt"),
              0);
    bool isCommitted = false;
    for (int i = 0; i < 200 && !isCommitted; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        isCommitted = !std::filesystem::exists(m_dir.path() / ".GAME00.DAT.velmora-mount") &&
                      runDat({"list", m_archive}).out.find("x.txt") != std::string::npos;
    }
    EXPECT_TRUE(isCommitted);
}

TEST_F(MountFixture, ChangesEndAsABuildOfTheChangedTree)
{
    REQUIRE_FUSE();
    struct Case {
        const char* commitDelay;
        const char* steps; // run in the mounted folder and in a copy of the tree
    };
    const Case cases[] = {
        {"0", "cp a.txt sub/copy.txt"},
        {"0", "mv a.txt sub/deep/moved.txt"},
        {"0", "rm sub/b.bmp"},
        {"0", "mkdir -p new/level && cp sub/deep/c.wav new/level/"},
        {"0", "sed -i s/second/2nd/ a.txt"},
        {"0", "truncate -s 7 sub/b.bmp"},
        {"0", "printf tail | dd of=sub/deep/c.wav bs=1 seek=10 conv=notrunc"},
        {"0", "mv sub renamed && mv renamed/deep renamed/d2"},
        {"0", "rm -r sub && mkdir empty"},
        {"0", "echo new > a.txt && mv a.txt b.txt && mv b.txt a.txt"},
        {"1", "echo one > x.txt && sleep 2 && echo two >> x.txt && mv x.txt sub/ && sleep 2"},
    };
    for (const Case& c : cases) {
        TearDown();
        std::filesystem::remove_all(m_dir.path() / "copy");
        ASSERT_EQ(shell("cp -r " + m_tree + " " + (m_dir / "copy")), 0);
        ASSERT_EQ(shell("cd " + (m_dir / "copy") + " && " + c.steps), 0) << c.steps;
        ASSERT_TRUE(mount({"--commit-delay", c.commitDelay})) << c.steps;
        EXPECT_EQ(shell("cd " + m_folder + " && " + c.steps), 0) << c.steps;
        EXPECT_EQ(shell("diff -r " + m_folder + " " + (m_dir / "copy")), 0) << c.steps;
        const clitest::RunResult result = unmount();
        EXPECT_EQ(result.exitCode, 0) << c.steps << result.err;
        expectArchiveIsBuildOf(m_dir / "copy", c.steps);
        // Each case starts from the original archive again.
        std::filesystem::remove(m_archive);
        ASSERT_EQ(runDat({"build", m_tree, m_archive}).exitCode, 0);
    }
}

TEST_F(MountFixture, RefusesNamesTheArchiveCannotHoldWithTheirErrno)
{
    REQUIRE_FUSE();
    struct Case {
        std::string name;
        int error;
    };
    const Case cases[] = {
        {"\xF0\x9F\x98\x80.txt", EILSEQ},
        {"back\\slash", EILSEQ},
        {"A.TXT", EEXIST},
        {"SUB", EEXIST},
        {std::string(256, 'x'), ENAMETOOLONG},
    };
    ASSERT_TRUE(mount({"--commit-delay", "0"}));
    for (const Case& c : cases) {
        const std::string path = m_folder + "/" + c.name;
        errno = 0;
        EXPECT_EQ(open(path.c_str(), O_CREAT | O_WRONLY, 0644), -1) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
        errno = 0;
        // a.txt may take its own name in another case; another file may not.
        EXPECT_EQ(rename((m_folder + "/sub/deep/c.wav").c_str(), path.c_str()), -1) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
    }
    EXPECT_EQ(unmount().exitCode, 0);
    expectArchiveIsBuildOf(m_tree, "nothing changed");
}

TEST_F(MountFixture, AKilledMountLeavesTheArchiveWholeAndItsChangesRecoverable)
{
    REQUIRE_FUSE();
    const std::string original = testsupport::readFile(m_archive);
    const std::string steps = "mv sub moved && sed -i s/first/1st/ a.txt && echo n > new.txt";
    ASSERT_EQ(shell("cd " + m_tree + " && " + steps), 0);
    ASSERT_TRUE(mount({"--commit-delay", "0"}));
    ASSERT_EQ(shell("cd " + m_folder + " && " + steps), 0);
    killMount();
    EXPECT_TRUE(testsupport::readFile(m_archive) == original);

    const clitest::RunResult refused = runDat({"mount", "-f", m_archive, m_folder});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find(".GAME00.DAT.velmora-mount"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--recover"), std::string::npos) << refused.err;

    ASSERT_TRUE(mount({"--recover"}));
    EXPECT_EQ(shell("diff -r " + m_folder + " " + m_tree), 0);
    EXPECT_EQ(unmount().exitCode, 0);
    expectArchiveIsBuildOf(m_tree, "recovered");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / ".GAME00.DAT.velmora-mount"));
}

TEST_F(MountFixture, AMountKilledDuringItsCommitLeavesTheOldOrTheNewArchive)
{
    REQUIRE_FUSE();
    const std::string original = testsupport::readFile(m_archive);
    const std::string steps = "head -c 8000000 /dev/zero > big.bmp && rm sub/deep/c.wav";
    ASSERT_EQ(shell("cd " + m_tree + " && " + steps), 0);
    const std::string changed = m_dir / "changed.dat";
    ASSERT_EQ(runDat({"build", m_tree, changed}).exitCode, 0);
    for (const int milliseconds : {0, 30, 150}) {
        ASSERT_TRUE(mount({"--commit-delay", "0"}));
        ASSERT_EQ(shell("cd " + m_folder + " && " + steps), 0);
        // The unmount starts the commit; the kill lands somewhere in it.
        shell("fusermount3 -u " + m_folder);
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        killMount();
        const std::string now = testsupport::readFile(m_archive);
        EXPECT_TRUE(now == original || now == testsupport::readFile(changed)) << milliseconds;
        ASSERT_TRUE(mount({"--recover"})) << milliseconds;
        EXPECT_EQ(unmount().exitCode, 0) << milliseconds;
        EXPECT_EQ(testsupport::readFile(m_archive), testsupport::readFile(changed)) << milliseconds;
        testsupport::writeFile(m_archive, original);
    }
}

TEST_F(MountFixture, AnArchiveChangedMeanwhileIsNotWrittenOver)
{
    REQUIRE_FUSE();
    ASSERT_TRUE(mount({"--commit-delay", "0"}));
    ASSERT_EQ(shell("echo mine > " + m_folder + "/mine.txt"), 0);
    testsupport::writeFile(m_dir / "theirs.txt", "theirs");
    ASSERT_EQ(runDat({"add", m_archive, "-C", m_dir.str(), "theirs.txt"}).exitCode, 0);
    const std::string theirs = testsupport::readFile(m_archive);
    const clitest::RunResult result = unmount();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("--recover"), std::string::npos) << result.err;
    EXPECT_TRUE(testsupport::readFile(m_archive) == theirs);

    ASSERT_TRUE(mount({"--recover"}));
    EXPECT_EQ(unmount().exitCode, 0);
    const clitest::RunResult listed = runDat({"list", m_archive});
    EXPECT_NE(listed.out.find("mine.txt"), std::string::npos);
    EXPECT_NE(listed.out.find("theirs.txt"), std::string::npos);
}

} // namespace
