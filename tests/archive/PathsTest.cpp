#include "archive/format/Paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace archive;

TEST(PathsTest, JoinPutsExactlyOneSeparatorBetween)
{
    struct Case {
        const char* folder;
        const char* name;
        const char* joined;
    };
    const Case cases[] = {
        {"out", "a.bmp", "out/a.bmp"},
        {"out/", "a.bmp", "out/a.bmp"},
        {"/", "a.bmp", "/a.bmp"},
        {"", "a.bmp", "a.bmp"}, // the current folder
        {"/data/game", "sub/a.bmp", "/data/game/sub/a.bmp"},
        {"/data/game", "*.*", "/data/game/*.*"},
        {"out", "", "out/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " + " + c.name);
        EXPECT_EQ(paths::join(c.folder, c.name), c.joined);
    }
}

TEST(PathsTest, SplitAndFileNameTakeTheLastComponent)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"GAME00.DAT", ".", "GAME00.DAT"},
        {"/GAME00.DAT", "/", "GAME00.DAT"},
        {"out/GAME00.DAT", "out", "GAME00.DAT"},
        {"/a/b/GAME00.DAT", "/a/b", "GAME00.DAT"},
        {"out/", "out", ""},
        {"out/..", "out", ".."},
#ifdef _WIN32
        // As typed at a Windows prompt or given by its file windows.
        {"out\\GAME00.DAT", "out", "GAME00.DAT"},
        {"Z:\\a/b\\GAME00.DAT", "Z:\\a/b", "GAME00.DAT"},
#else
        {"out\\GAME00.DAT", ".", "out\\GAME00.DAT"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto [folder, name] = paths::split(c.path);
        EXPECT_EQ(folder, c.folder);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(paths::fileName(c.path), c.name);
    }
}

TEST(PathsTest, ParentStopsAtTheRoot)
{
    struct Case {
        const char* path;
        const char* parent;
    };
    const Case cases[] = {
        {"/a/b/c", "/a/b"},
        {"/a", "/"},
        {"/", "/"},
        {"a", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(paths::parent(c.path), c.parent);
    }
}

TEST(PathsTest, ComponentsLeaveOutEmptyNames)
{
    struct Case {
        const char* path;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {"/a/b/c", {"a", "b", "c"}},  {"a//b/", {"a", "b"}}, {"/", {}}, {"", {}},
        {"../x/.", {"..", "x", "."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(paths::components(c.path), c.parts);
    }
}

TEST(PathsTest, SameOrBelowComparesWholeComponents)
{
    struct Case {
        const char* path;
        const char* folder;
        bool isBelow;
    };
    const Case cases[] = {
        {"/data/game", "/data/game", true},
        {"/data/game/sub", "/data/game", true},
        {"/data/game2", "/data/game", false},
        {"/data", "/data/game", false},
        {"/anything", "/", true},
        {"/data/gam", "/data/game", false},
#ifdef _WIN32
        {"C:/data/game\\sub", "C:/data/game", true},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " in " + c.folder);
        EXPECT_EQ(paths::isSameOrBelow(c.path, c.folder), c.isBelow);
    }
}

TEST(PathsTest, WithSeparatorAddsOneOnlyWhenMissing)
{
    struct Case {
        const char* path;
        const char* result;
    };
    const Case cases[] = {{"src", "src/"}, {"src/", "src/"}, {"/", "/"}, {"", "/"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(paths::withSeparator(c.path), c.result);
        EXPECT_TRUE(paths::endsWithSeparator(paths::withSeparator(c.path)));
    }
}

} // namespace
