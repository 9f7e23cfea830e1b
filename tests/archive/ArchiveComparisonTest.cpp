#include "archive/commands/ArchiveComparison.h"
#include "archive/ArchiveError.h"
#include "archive/commands/ArchivePatch.h"
#include "archive/commands/Building.h"
#include "archive/commands/ContentHash.h"
#include "archive/commands/LineDiff.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace archive;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

using Tree = std::map<std::string, std::string>; // host relative path -> bytes

const std::string kXu = "\xE8\xA8\xB1"; // 許, stored as B3 5C: its trail byte is '\'

struct ComparisonCase {
    const char* label;
    Tree older;
    Tree newer;
    // "K old" or "R old -> new", names as toText shows them, in the order reported.
    std::vector<std::string> expected;
};

void PrintTo(const ComparisonCase& row, std::ostream* out)
{
    *out << row.label;
}

std::string described(const EntryDifference& difference)
{
    const char* letters = "ADMR";
    std::string line(1, letters[static_cast<int>(difference.kind)]);
    line += " " + names::toText(difference.name());
    if (difference.kind == EntryDifference::Kind::renamed)
        line += " -> " + names::toText(difference.newer->name);
    return line;
}

class Comparison : public ::testing::TestWithParam<ComparisonCase> {
protected:
    TempDir m_dir;

    std::string folderOf(const char* side, const Tree& tree)
    {
        const std::string folder = m_dir / side;
        std::filesystem::create_directories(testsupport::hostPath(folder));
        for (const auto& [path, bytes] : tree)
            writeFile(folder + "/" + path, bytes);
        return folder;
    }
};

// Each pairing compares the same two trees, as archives or folders; the patch each writes turns
// a build of the older tree into exactly the build of the newer.
TEST_P(Comparison, FindsEachDifferenceAndItsPatchMakesTheNewerArchive)
{
    const std::string olderFolder = folderOf("old", GetParam().older);
    const std::string newerFolder = folderOf("new", GetParam().newer);
    buildArchive(olderFolder, m_dir / "OLD.DAT");
    buildArchive(newerFolder, m_dir / "NEW.DAT");
    const std::string newerBuilt = readFile(m_dir / "NEW.DAT");
    const std::pair<std::string, std::string> pairings[] = {
        {m_dir / "OLD.DAT", m_dir / "NEW.DAT"},
        {m_dir / "OLD.DAT", newerFolder},
        {olderFolder, m_dir / "NEW.DAT"},
    };
    for (const auto& [olderPath, newerPath] : pairings) {
        SCOPED_TRACE(olderPath + " -> " + newerPath);
        std::vector<std::string> found;
        {
            const ComparedTree older(olderPath);
            const ComparedTree newer(newerPath);
            const ArchiveComparison comparison(older, newer, true);
            for (const EntryDifference& difference : comparison.differences()) {
                found.push_back(described(difference));
                EXPECT_EQ(difference.olderHash.has_value(), difference.older != nullptr);
                EXPECT_EQ(difference.newerHash.has_value(), difference.newer != nullptr);
            }
            ArchivePatch::write(older, newer, comparison, m_dir / "P.DAT");
        }
        EXPECT_EQ(found, GetParam().expected);

        writeFile(m_dir / "T.DAT", readFile(m_dir / "OLD.DAT"));
        {
            ArchiveReader target;
            target.Open(m_dir / "T.DAT");
            ArchiveReader patchReader;
            patchReader.Open(m_dir / "P.DAT");
            const ArchivePatch patch(patchReader);
            ASSERT_EQ(patch.fit(ComparedTree(target)), GetParam().expected.empty()
                                                           ? ArchivePatch::Fit::alreadyApplied
                                                           : ArchivePatch::Fit::from);
            updateArchive(target, patch.changes());
        }
        EXPECT_EQ(readFile(m_dir / "T.DAT"), newerBuilt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Comparison,
    ::testing::Values(
        ComparisonCase{"Equal",
                       {{"a.bmp", "abc"}, {"sub/b.wav", ""}},
                       {{"a.bmp", "abc"}, {"sub/b.wav", ""}},
                       {}},
        ComparisonCase{"AddedAndDeleted",
                       {{"keep.bmp", "k"}, {"gone.bmp", "xyz"}},
                       {{"keep.bmp", "k"}, {"new.bmp", "pqrs"}},
                       {"D gone.bmp", "A new.bmp"}},
        ComparisonCase{"ChangedBytesOrSize",
                       {{"same.scr", "abcd"}, {"size.scr", "abc"}, {"fill.scr", ""}},
                       {{"same.scr", "abce"}, {"size.scr", "abcd"}, {"fill.scr", "x"}},
                       {"M fill.scr", "M same.scr", "M size.scr"}},
        // Same bytes in another folder; two entries swapping bytes are two changes.
        ComparisonCase{"MovedAndSwapped",
                       {{"sub/x.bmp", "moved"}, {"a.wav", "1111"}, {"b.wav", "2222"}},
                       {{"other/x.bmp", "moved"}, {"a.wav", "2222"}, {"b.wav", "1111"}},
                       {"M a.wav", "M b.wav", "R sub\\x.bmp -> other\\x.bmp"}},
        // Names are paired by their bytes: case counts. Empty entries are never renames.
        ComparisonCase{"CaseAndEmpty",
                       {{"A.BMP", "case"}, {"e1.dat", ""}},
                       {{"a.bmp", "case"}, {"e2.dat", ""}},
                       {"R A.BMP -> a.bmp", "D e1.dat", "A e2.dat"}},
        ComparisonCase{"Big5TrailBackslash",
                       {{kXu + ".bmp", "xu"}, {kXu + "/a.txt", "one"}},
                       {{"x/" + kXu + ".bmp", "xu"}, {kXu + "/a.txt", "two"}},
                       {"R " + kXu + ".bmp -> x\\" + kXu + ".bmp", "M " + kXu + "\\a.txt"}}),
    [](const auto& info) { return std::string(info.param.label); });

// A patch applies to its own older tree only, and not again; a damaged script is refused.
TEST(ArchivePatch, TellsWhichArchiveItFitsAndRefusesADamagedScript)
{
    TempDir dir;
    writeFile(dir / "old/a.bmp", "a");
    writeFile(dir / "new/a.bmp", "b");
    writeFile(dir / "other/a.bmp", "c");
    const ComparedTree older(dir / "old");
    const ComparedTree newer(dir / "new");
    ArchivePatch::write(older, newer, ArchiveComparison(older, newer, false), dir / "P.DAT");
    ArchiveReader patchReader;
    patchReader.Open(dir / "P.DAT");
    const ArchivePatch patch(patchReader);
    EXPECT_EQ(patch.fit(ComparedTree(dir / "old")), ArchivePatch::Fit::from);
    EXPECT_EQ(patch.fit(ComparedTree(dir / "new")), ArchivePatch::Fit::alreadyApplied);
    EXPECT_EQ(patch.fit(ComparedTree(dir / "other")), ArchivePatch::Fit::other);

    for (const std::string script : {"velmora-patch 2\n", "velmora-patch 1\nfrom 0 1\n",
                                     "velmora-patch 1\nfrom 0000000000000000 1\nto "
                                     "0000000000000000 1\nadd\tnothing.bmp\n"}) {
        writeFile(dir / "bad/VELMORA.PATCH", script);
        buildArchive(dir / "bad", dir / "BAD.DAT");
        ArchiveReader bad;
        bad.Open(dir / "BAD.DAT");
        EXPECT_THROW(ArchivePatch{bad}, FormatError) << script;
    }
}

TEST(ContentHash, GivesTheKnownValuesWhateverThePieces)
{
    const std::pair<std::string, std::uint64_t> known[] = {
        {"", 0xEF46DB3751D8E999ull},
        {"abc", 0x44BC2CF5AD770999ull},
        {"Nobody inspects the spammish repetition", 0xFBCEA83C8A378BF1ull},
    };
    for (const auto& [text, value] : known) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        EXPECT_EQ(ContentHash::of({bytes, text.size()}), value) << text;
        ContentHash pieces;
        for (std::size_t at = 0; at < text.size(); at += 5)
            pieces.add({bytes + at, std::min<std::size_t>(5, text.size() - at)});
        EXPECT_EQ(pieces.value(), value) << text;
    }
}

// Lines as "1".."n", with the numbers in changes (negative: removed) changed.
std::vector<std::string> numbered(int count, const std::map<int, std::string>& changes = {})
{
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i) {
        const auto changed = changes.find(i);
        if (changed == changes.end())
            lines.push_back(std::to_string(i));
        else if (!changed->second.empty())
            lines.push_back(changed->second);
    }
    return lines;
}

TEST(LineDiff, GivesUnifiedHunksWithThreeLinesOfContext)
{
    struct Row {
        std::vector<std::string> older;
        std::vector<std::string> newer;
        std::string expected;
    };
    const Row rows[] = {
        {numbered(10), numbered(10, {{5, "five"}}),
         "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"},
        // Changes six lines apart share a hunk; seven apart do not.
        {numbered(20), numbered(20, {{2, ""}, {9, "nine"}, {17, "x"}}),
         "@@ -1,12 +1,11 @@\n 1\n-2\n 3\n 4\n 5\n 6\n 7\n 8\n-9\n+nine\n 10\n 11\n 12\n"
         "@@ -14,7 +13,7 @@\n 14\n 15\n 16\n-17\n+x\n 18\n 19\n 20\n"},
        {{}, {"a", "b"}, "@@ -0,0 +1,2 @@\n+a\n+b\n"},
        {{"a", "b", "a"}, {"b", "a", "b"}, "@@ -1,3 +1,3 @@\n-a\n b\n a\n+b\n"},
        {numbered(3), numbered(3), ""},
    };
    for (const Row& row : rows) {
        const std::vector<std::string_view> a(row.older.begin(), row.older.end());
        const std::vector<std::string_view> b(row.newer.begin(), row.newer.end());
        EXPECT_EQ(LineDiff(a, b).unified(), row.expected);
    }
    // Differing stretches past the table's bound are refused before it is made.
    const std::vector<std::string> many = numbered(20000);
    std::vector<std::string> others = many;
    for (std::string& line : others)
        line += "x";
    const std::vector<std::string_view> a(many.begin(), many.end());
    const std::vector<std::string_view> b(others.begin(), others.end());
    EXPECT_THROW(LineDiff(a, b), FormatError);
}

} // namespace
