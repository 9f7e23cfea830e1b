#include "archive/files/OutputFile.h"
#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Extraction.h"
#include "archive/files/CFile.h"
#include "archive/files/CFolder.h"
#include "archive/files/FileCopier.h"
#include "archive/files/SignalCleanup.h"
#include "archive/files/TestSeams.h"
#include "archive/format/ArchiveReader.h"
#ifndef _WIN32
#include "archive/posix/DescriptorCopier.h"
#include "archive/posix/NameRefusal.h"
#endif

#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#ifndef _WIN32
#include <fcntl.h>
#endif
#include <filesystem>
#include <set>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif
#include <thread>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace archive;
using testsupport::ArchiveImage;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(testsupport::hostPath(folder)))
        names.insert(
            testsupport::utf8Path(entry.path().lexically_relative(testsupport::hostPath(folder))));
    return names;
}

// POSIX: signals delivered to a forked child.
#ifndef _WIN32
// Runs body in a child and returns the signal that ended it, 0 when it exited.
int signalEnding(const std::function<void()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        // SIGQUIT would leave a core file of its own.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        try {
            body();
        } catch (...) {
            _exit(2);
        }
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

struct SignalCase {
    const char* label;
    int signalNumber;
    bool isSecond; // the first of these only asks to stop
};

const SignalCase kSignals[] = {
    {"SecondInterrupt", SIGINT, true},
    {"SecondTerminate", SIGTERM, true},
    {"HangUp", SIGHUP, false},
    {"Quit", SIGQUIT, false},
};

void deliver(const SignalCase& c)
{
    SignalCleanup::stopOnInterrupt();
    if (c.isSecond)
        ::raise(c.signalNumber);
    ::raise(c.signalNumber);
}

class EndingSignal : public testing::TestWithParam<std::tuple<SignalCase, bool>> {};

// The signal comes while the output is half written: nothing may be left but what was there.
TEST_P(EndingSignal, LeavesNoTemporaryFile)
{
    const SignalCase& c = std::get<0>(GetParam());
    const bool isUnnamedAllowed = std::get<1>(GetParam());
    TempDir temp;
    ArchiveImage image;
    image.add("big.bin", std::string(FileCopier::kSliceBytes + 10, 'b'));
    writeFile(temp / "GAME00.DAT", image.bytes());
    writeFile(temp / "src/big.bin", std::string(FileCopier::kSliceBytes + 10, 'b'));
    writeFile(temp / "src/small.bin", "s");
    fs::create_directory(temp / "out");
    const std::set<std::string> before = namesIn(temp.str());

    const int extractEnd = signalEnding([&] {
        seams::allowUnnamedFiles(isUnnamedAllowed);
        ArchiveReader reader;
        reader.Open(temp / "GAME00.DAT");
        const Catalogue list(reader);
        extractEntries(reader, list.positions({0}), temp / "out", [&](const Progress&) {
            deliver(c);
            return true;
        });
    });
    EXPECT_EQ(extractEnd, c.signalNumber);
    const int buildEnd = signalEnding([&] {
        seams::allowUnnamedFiles(isUnnamedAllowed);
        buildArchive(temp / "src", temp / "NEW.DAT", [&](const Progress& p) {
            if (p.bytesDone > 0)
                deliver(c);
            return true;
        });
    });
    EXPECT_EQ(buildEnd, c.signalNumber);
    EXPECT_EQ(namesIn(temp.str()), before);
}

// A folder goes with its files and sub-folders; a link inside is removed, not followed, and a
// tree deeper than the handler goes still lets the signal end the program.
TEST_P(EndingSignal, RemovesARegisteredFolderWithWhatItHolds)
{
    const SignalCase& c = std::get<0>(GetParam());
    TempDir temp;
    TempDir outside;
    writeFile(outside / "keep.txt", "keep");
    writeFile(temp / "tree/a.bin", "a");
    writeFile(temp / "tree/sub/deeper/b.bin", "b");
    fs::create_directories(temp / "tree/sub/empty");
    VELMORA_MAKE_LINK(outside.str(), temp / "tree/sub/link");
    std::string deep = temp / "deep";
    for (int level = 0; level < 64; ++level)
        deep += "/d";
    fs::create_directories(deep);
    writeFile(temp / "kept.bin", "not registered");
    const CFolder folder = CFolder::open(temp.str());

    const int end = signalEnding([&] {
        if (SignalCleanup::addTree(folder, "tree") < 0 ||
            SignalCleanup::addTree(folder, "deep") < 0)
            _exit(3);
        deliver(c);
    });
    EXPECT_EQ(end, c.signalNumber);
    EXPECT_FALSE(fs::exists(temp / "tree"));
    EXPECT_TRUE(fs::exists(temp / "kept.bin"));
    EXPECT_EQ(namesIn(outside.str()), std::set<std::string>{"keep.txt"});
}

INSTANTIATE_TEST_SUITE_P(Signals, EndingSignal,
                         testing::Combine(testing::ValuesIn(kSignals), testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "Unnamed" : "Named");
                         });

TEST(EndingSignal, AFirstInterruptOnlyAsksToStop)
{
    const int end = signalEnding([] {
        deliver({"", SIGINT, false});
        _exit(SignalCleanup::isStopAsked() ? 0 : 3);
    });
    EXPECT_EQ(end, 0);
}
#endif

// POSIX: the errno values of a FUSE file system holding FAT's names.
#ifndef _WIN32
// EPERM is the file system refusing FAT's names through FUSE, but a matter of rights for any
// other name; the other errors can only be about the name itself.
TEST(NameRefusal, OnlyAnErrorAboutTheNameSaysTheFileSystemCannotHoldIt)
{
    const struct {
        int error;
        const char* name;
        bool isRefused;
    } cases[] = {
        {EINVAL, "plain.bmp", true},
        {EILSEQ, "plain.bmp", true},
        {ENAMETOOLONG, "plain.bmp", true},
        {EPERM, "lt<gt>.bmp", true},
        {EPERM, "a:b", true},
        {EPERM, "q?.bmp", true},
        {EPERM, "star*", true},
        {EPERM, "pipe|", true},
        {EPERM, "quote\"", true},
        {EPERM, "back\\slash", true},
        {EPERM, "ctl\x01", true},
        {EPERM, "dot.", true},
        {EPERM, "space ", true},
        {EPERM, "plain.bmp", false},
        {EPERM, "in.side dot", false},
        {EACCES, "lt<gt>.bmp", false},
        {ENOSPC, "a?b", false},
        {EEXIST, "dot.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.error);
        const FileError e = posix::creationFailure(ErrorKind::cannotWrite,
                                                   "/d/" + std::string(c.name), c.name, c.error);
        EXPECT_EQ(e.kind(),
                  c.isRefused ? ErrorKind::nameRefusedByFileSystem : ErrorKind::cannotWrite);
        EXPECT_EQ(e.subject(), "/d/" + std::string(c.name));
        EXPECT_EQ(e.systemError(), c.error);
    }
}
#endif

TEST(OutputFileTest, NothingIsNamedBeforeCommit)
{
    for (const bool isUnnamedAllowed : {true, false}) {
        SCOPED_TRACE(isUnnamedAllowed);
        TempDir temp;
        seams::allowUnnamedFiles(isUnnamedAllowed);
        const CFolder folder = CFolder::open(temp.str());
        {
            OutputFile out(folder, "out.dat");
            out.Write("abc", 3);
            const std::set<std::string> seen = namesIn(temp.str());
            if (isUnnamedAllowed && out.isUnnamed())
                EXPECT_TRUE(seen.empty());
            else
                EXPECT_EQ(seen.size(), 1u);
            EXPECT_EQ(SignalCleanup::liveCount(), out.isUnnamed() ? 0 : 1);
            out.setDurable(true);
            out.Commit();
        }
        EXPECT_EQ(namesIn(temp.str()), std::set<std::string>{"out.dat"});
        EXPECT_EQ(readFile(temp / "out.dat"), "abc");
        EXPECT_EQ(SignalCleanup::liveCount(), 0);
        seams::allowUnnamedFiles(true);
    }
}

TEST(OutputFileTest, KeepModeLeavesWhatExistsAndWritesTheRest)
{
    const struct {
        bool isUnnamedAllowed;
        bool isNoReplaceNamingAllowed; // false: neither such a rename nor hard links
    } cases[] = {{true, true}, {false, true}, {false, false}};
    for (const auto& c : cases) {
        const bool isUnnamedAllowed = c.isUnnamedAllowed;
        SCOPED_TRACE(testing::Message() << isUnnamedAllowed << c.isNoReplaceNamingAllowed);
        TempDir temp;
        seams::allowUnnamedFiles(isUnnamedAllowed);
        seams::allowNoReplaceNaming(c.isNoReplaceNamingAllowed);
        writeFile(temp / "old.dat", "old");
        // Where no link can be made, a file stands in its place.
        const bool hasLink = testsupport::makeLink("nowhere", temp / "link");
        if (!hasLink)
            writeFile(temp / "link", "no link here");
        const CFolder folder = CFolder::open(temp.str());
        for (const char* name : {"old.dat", "link"}) {
            try {
                OutputFile out(folder, name, OutputFile::Existing::keep);
                ADD_FAILURE() << name << " would be replaced";
            } catch (const FileError& e) {
                EXPECT_EQ(e.kind(), ErrorKind::keptExisting);
                EXPECT_EQ(e.subject(), temp / name);
            }
        }
        // Something that comes to the name while the file is written is kept too.
        OutputFile late(folder, "late.dat", OutputFile::Existing::keep);
        late.Write("new", 3);
        writeFile(temp / "late.dat", "came first");
        EXPECT_THROW(late.Commit(), FileError);
        OutputFile fresh(folder, "new.dat", OutputFile::Existing::keep);
        fresh.Write("new", 3);
        // The whole file is renamed into place, never copied: a kill halfway through a copy
        // would leave a cut file under the name.
        std::optional<filesystem::ObjectId> written;
        for (const std::string& name : namesIn(temp.str())) {
            if (name.starts_with(".new.dat.part-"))
                written = filesystem::identity(temp / name);
        }
        EXPECT_EQ(written.has_value(), !fresh.isUnnamed());
        fresh.Commit();
        if (written) {
            EXPECT_EQ(filesystem::identity(temp / "new.dat"), written);
        }
        EXPECT_EQ(readFile(temp / "old.dat"), "old");
        EXPECT_EQ(readFile(temp / "late.dat"), "came first");
        EXPECT_EQ(readFile(temp / "new.dat"), "new");
        if (hasLink)
            EXPECT_TRUE(fs::is_symlink(temp / "link"));
        else
            EXPECT_EQ(readFile(temp / "link"), "no link here");
        // No temporary name is left behind, nor a slot for one.
        const std::set<std::string> names = {"late.dat", "link", "new.dat", "old.dat"};
        EXPECT_EQ(namesIn(temp.str()), names);
        EXPECT_EQ(SignalCleanup::liveCount(), 0);
        seams::allowUnnamedFiles(true);
        seams::allowNoReplaceNaming(true);
    }
}

// POSIX: permissions as an unprivileged user.
#ifndef _WIN32
TEST(OutputFileTest, AFileTheUserCannotWriteIsNotReplaced)
{
    if (!testsupport::canTestPermissions())
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    TempDir temp;
    fs::create_directory(temp / "out");
    writeFile(temp / "out/locked.dat", "mine");
    fs::permissions(temp.path(), fs::perms::all);
    fs::permissions(temp / "out", fs::perms::all);
    fs::permissions(temp / "out/locked.dat", fs::perms::owner_read | fs::perms::others_read);
    const testsupport::ChildResult child = testsupport::runInChild({-1, true}, [&] {
        const CFolder folder = CFolder::open(temp / "out");
        // Naming an unnamed file needs no privilege.
        OutputFile free(folder, "free.dat");
        free.Write("free", 4);
        free.Commit();
        try {
            OutputFile out(folder, "locked.dat");
            out.Commit();
        } catch (const FileError& e) {
            return e.subject() + ": " + e.reason();
        }
        return std::string("replaced");
    });
    EXPECT_EQ(child.text, temp / "out/locked.dat" + ": Permission denied");
    EXPECT_EQ(readFile(temp / "out/locked.dat"), "mine");
    EXPECT_EQ(namesIn(temp / "out"), (std::set<std::string>{"free.dat", "locked.dat"}));
    EXPECT_EQ(readFile(temp / "out/free.dat"), "free");
}
#endif

// POSIX: the descriptor copier and its in-kernel paths.
#ifndef _WIN32
struct CopyTarget {
    const char* label;
    int extraFlags; // O_APPEND refuses the in-kernel copies
    bool isPipe;    // copy_file_range refuses a pipe, sendfile takes it
};

class CopierTarget : public testing::TestWithParam<CopyTarget> {};

TEST_P(CopierTarget, EveryByteArrivesFromTheOffset)
{
    TempDir temp;
    std::string content(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7 + i / 4099);
    writeFile(temp / "source", content);
    const int source = ::open((temp / "source").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(source, 0);
    const std::uint64_t offset = 5;
    const std::uint64_t size = 2 * 1024 * 1024 + 3;
    std::string got;
    posix::DescriptorCopier copier;
    posix::DescriptorCopier::Outcome done;
    if (GetParam().isPipe) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        std::thread reader([&] {
            char buffer[65536];
            ssize_t n;
            while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
                got.append(buffer, static_cast<std::size_t>(n));
        });
        done = copier.copy(source, offset, fds[1], size);
        ::close(fds[1]);
        reader.join();
        ::close(fds[0]);
    } else {
        const int target = ::open((temp / "target").c_str(),
                                  O_WRONLY | O_CREAT | O_CLOEXEC | GetParam().extraFlags, 0600);
        ASSERT_GE(target, 0);
        ASSERT_EQ(::write(target, "head", 4), 4);
        done = copier.copy(source, offset, target, size);
        // The source shorter than asked: the copy ends there without an error.
        const posix::DescriptorCopier::Outcome tail =
            copier.copy(source, content.size() - 2, target, 10);
        EXPECT_EQ(tail.copied, 2u);
        EXPECT_EQ(tail.error, 0);
        ::close(target);
        got = readFile(temp / "target");
        EXPECT_EQ(got.substr(0, 4), "head");
        EXPECT_EQ(got.substr(4 + size), content.substr(content.size() - 2));
        got = got.substr(4, size);
    }
    ::close(source);
    EXPECT_EQ(done.copied, size);
    EXPECT_EQ(done.error, 0);
    EXPECT_TRUE(got == content.substr(offset, size));
}

INSTANTIATE_TEST_SUITE_P(Targets, CopierTarget,
                         testing::Values(CopyTarget{"File", 0, false},
                                         CopyTarget{"Appending", O_APPEND, false},
                                         CopyTarget{"Pipe", 0, true}),
                         [](const auto& info) { return std::string(info.param.label); });
#endif

} // namespace

namespace {

// The copier between the engine's own classes: what arrives in the output file, from where.
TEST(FileCopierTest, CopiesFromTheOffsetIntoWhatTheFileHolds)
{
    struct Case {
        const char* label;
        std::uint64_t offset;
        std::uint64_t size;
        std::uint64_t copied; // short only at the end of the source
    };
    const std::uint64_t length = FileCopier::kSliceBytes + 4099;
    const Case cases[] = {
        {"all", 0, length, length},
        {"middle", 5, 1000, 1000},
        {"past the end", length - 3, 10, 3},
        {"at the end", length, 10, 0},
        {"nothing", 7, 0, 0},
    };
    TempDir temp;
    std::string content(length, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 13 + i / 251);
    writeFile(temp / "source", content);
    CFile source;
    source.Open(temp / "source", CFile::modeRead);
    const CFolder folder = CFolder::open(temp.str());
    FileCopier copier;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OutputFile out(folder, "target");
        out.Write("head", 4);
        EXPECT_EQ(copier.copy(source, c.offset, out, c.size), c.copied);
        out.Commit();
        const std::string got = readFile(temp / "target");
        EXPECT_EQ(got.substr(0, 4), "head");
        EXPECT_TRUE(got.substr(4) == content.substr(c.offset, c.copied));
    }
    // The source's own position is left alone.
    char first = 0;
    EXPECT_EQ(source.Read(&first, 1), 1u);
    EXPECT_EQ(first, content[0]);
}

TEST(FileCopierTest, AClosedSourceOrAFinishedTargetIsRefused)
{
    TempDir temp;
    writeFile(temp / "source", "abc");
    const CFolder folder = CFolder::open(temp.str());
    FileCopier copier;
    CFile closed;
    OutputFile out(folder, "target");
    EXPECT_THROW(copier.copy(closed, 0, out, 3), FileError);
    CFile source;
    source.Open(temp / "source", CFile::modeRead);
    out.Commit();
    EXPECT_THROW(copier.copy(source, 0, out, 3), FileError);
    EXPECT_EQ(readFile(temp / "target"), "");
}

} // namespace
