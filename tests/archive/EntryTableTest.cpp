#include "archive/commands/EntryTable.h"
#include "archive/ArchiveError.h"
#include "archive/format/CodePage.h"

#include "tests/support/MemoryArchive.h"

#include <gtest/gtest.h>

using namespace archive;

namespace {

// One change as updating makes it: 'd' deletes name, 'r' renames it to other, 'a' adds it
// (replacing an entry of that name).
struct Op {
    char kind;
    std::string name;
    std::string other;
};

void apply(EntryTable& table, const Op& op)
{
    if (op.kind == 'd') {
        table.remove(table.require(op.name));
    } else if (op.kind == 'r') {
        table.rename(table.require(op.name), table.keep(op.other));
    } else {
        if (const std::optional<std::size_t> existing = table.find(op.name))
            table.remove(*existing);
        EntryTable::Item item;
        item.name = table.keep(op.name);
        item.isOld = false;
        item.isChanged = true;
        table.insert(item);
    }
}

// The old entries stay in the reader and the changed ones are merged in as the list is walked:
// the walk must give the list order a sort of the live names gives, at either end and among
// names equal but for case, whether or not the old records were in order.
TEST(EntryTable, MergesTheChangedEntriesIntoTheOldOrder)
{
    const struct {
        const char* label;
        std::vector<std::string> old; // in file order
        std::vector<Op> ops;
        std::vector<std::string> live;    // in list order afterwards
        std::vector<std::string> changed; // changedNames()
        bool isClash;
    } cases[] = {
        {"first and last gone, before the first and after the last added",
         {"b", "c", "d"},
         {{'d', "b", ""}, {'d', "d", ""}, {'a', "e", ""}, {'a', "a", ""}},
         {"a", "c", "e"},
         {"a", "e"},
         false},
        {"renamed between names equal but for case",
         {"A.dat", "a.dat", "b.dat"},
         {{'r', "b.dat", "a.DAT"}},
         {"A.dat", "a.DAT", "a.dat"},
         {"a.DAT"},
         false},
        {"old records out of order",
         {"z", "b", "m"},
         {{'a', "c", ""}},
         {"b", "c", "m", "z"},
         {"c"},
         false},
        {"renamed twice, added then deleted",
         {"a", "b"},
         {{'r', "a", "c"}, {'r', "c", "d"}, {'a', "x", ""}, {'d', "x", ""}},
         {"b", "d"},
         {"d"},
         false},
        {"a replaced entry keeps its place",
         {"a", "b", "c"},
         {{'a', "b", ""}},
         {"a", "b", "c"},
         {"b"},
         false},
        {"a file where a folder level's last entry went",
         {"sub\\a.dat", "z"},
         {{'d', "sub\\a.dat", ""}, {'a', "sub", ""}},
         {"sub", "z"},
         {"sub"},
         false},
        {"a file where a folder level still has an entry",
         {"Sub\\a.dat", "sub\\b.dat"},
         {{'d', "Sub\\a.dat", ""}, {'a', "sub", ""}},
         {"sub", "sub\\b.dat"},
         {"sub"},
         true},
        {"a folder level where an added entry is a file",
         {"a.dat"},
         {{'a', "b", ""}, {'a', "b\\c.dat", ""}},
         {"a.dat", "b", "b\\c.dat"},
         {"b", "b\\c.dat"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const testsupport::MemoryArchive archive(c.old);
        EntryTable table("GAME00.DAT", CodePage::big5(), &archive.reader);
        for (const Op& op : c.ops)
            apply(table, op);
        table.settle();
        std::vector<std::string> live;
        table.forEachLive([&](const EntryTable::Item& item) {
            live.emplace_back(item.name);
            return true;
        });
        EXPECT_EQ(live, c.live);
        EXPECT_EQ(table.liveCount(), c.live.size());
        EXPECT_EQ(table.changedNames(), c.changed);
        if (c.isClash)
            EXPECT_THROW(table.requireNoFileFolderClash(), NameError);
        else
            EXPECT_NO_THROW(table.requireNoFileFolderClash());
    }
}

// A deleted record no longer answers to its name, and two live records of one name make it
// ambiguous wherever they stand.
TEST(EntryTable, FindsLiveRecordsOnly)
{
    const testsupport::MemoryArchive archive({"b", "a", "b", "c"});
    EntryTable table("GAME00.DAT", CodePage::big5(), &archive.reader);
    EXPECT_THROW(table.find("b"), NameError);
    EXPECT_EQ(table.find("a"), std::optional<std::size_t>(1));
    table.remove(0);
    EXPECT_EQ(table.find("b"), std::optional<std::size_t>(2));
    EXPECT_FALSE(table.keepsName(0));
    EXPECT_TRUE(table.keepsName(2));
    table.remove(2);
    EXPECT_FALSE(table.contains("b"));
    EXPECT_THROW(table.require("b"), NameError);
}

} // namespace
