#include "archive/EntryList.h"
#include "archive/CodePage950.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace archive;

namespace {

std::vector<std::string> texts(const EntryList& list)
{
    std::vector<std::string> out;
    list.forEach([&](int, const std::string& text, std::uint32_t, bool) {
        out.push_back(text);
        return true;
    });
    return out;
}

TEST(EntryList, SortsWithoutRegardToCaseAndKeepsValuesWithTheirTexts)
{
    EntryList list;
    for (auto [text, value] : {std::pair{"b.bmp", 1u}, {"A.BMP", 2u}, {"c.bmp", 3u}})
        list.SetItemData(list.AddString(text), value);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"A.BMP", "b.bmp", "c.bmp"}));
    EXPECT_EQ(list.GetItemData(0), 2u);
    EXPECT_EQ(list.GetItemData(1), 1u);
    EXPECT_EQ(list.GetItemData(2), 3u);
}

TEST(EntryList, DuplicatesAndEqualsGoAfterTheItemsEqualToThem)
{
    EntryList list;
    EXPECT_EQ(list.AddString("x.dat"), 0);
    list.SetItemData(0, 10);
    EXPECT_EQ(list.AddString("X.DAT"), 1);
    list.SetItemData(1, 20);
    EXPECT_EQ(list.AddString("x.dat"), 2);
    list.SetItemData(2, 30);
    EXPECT_EQ(list.GetText(1), "X.DAT");
    EXPECT_EQ(list.GetItemData(2), 30u);
    EXPECT_EQ(list.GetCount(), 3);
}

TEST(EntryList, SelectionOperations)
{
    EntryList list;
    list.SetSel(-1, false); // nothing to clear
    EXPECT_EQ(list.GetSelCount(), 0);
    for (const char* t : {"d", "a", "c", "b", "e"})
        list.AddString(t);
    list.SetSel(3, true);
    list.SetSel(1, true);
    list.SetSel(1, true);
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{1, 3}));
    list.SelItemRange(true, 2, 10);
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{1, 2, 3, 4}));
    list.SelItemRange(false, -5, 2);
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{3, 4}));
    list.SetSel(-1, true);
    EXPECT_EQ(list.GetSelCount(), 5);
    // Adding keeps each flag with its item.
    list.SetSel(-1, false);
    list.SetSel(0, true); // "a"
    list.AddString("0");
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{1}));
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetSelCount(), 0);
    EXPECT_EQ(list.GetText(0), "");
    EXPECT_EQ(list.GetItemData(-1), 0u);
}

TEST(EntryList, MatchesASortedVectorOverManyRandomAdds)
{
    std::mt19937 random(7);
    EntryList list;
    std::vector<std::pair<std::string, std::uint32_t>> model;
    for (std::uint32_t n = 0; n < 20000; ++n) {
        std::string text = "f" + std::to_string(random() % 3000);
        if (random() % 2)
            text = cp950::makeUpper(text) + "\xA4\x41";
        const int index = list.AddString(text);
        list.SetItemData(index, n);
        const auto at = std::upper_bound(model.begin(), model.end(), text,
                                         [](const std::string& t, const auto& item) {
                                             return cp950::compareNoCase(t, item.first) < 0;
                                         });
        ASSERT_EQ(index, at - model.begin());
        model.insert(at, {text, n});
    }
    for (int i = 0; i < list.GetCount(); i += 97) {
        EXPECT_EQ(list.GetText(i), model[std::size_t(i)].first);
        EXPECT_EQ(list.GetItemData(i), model[std::size_t(i)].second);
    }
    int seen = 0;
    list.forEach(
        [&](int index, const std::string& text, std::uint32_t, bool) {
            EXPECT_EQ(index, 15000 + seen);
            EXPECT_EQ(text, model[std::size_t(index)].first);
            return ++seen < 10;
        },
        15000);
    EXPECT_EQ(seen, 10);
}

} // namespace

namespace {

TEST(EntryList, BatchAddEqualsAddingOneByOne)
{
    std::mt19937 random(11);
    std::vector<std::pair<std::string, std::uint32_t>> first, second;
    const char* stems[] = {"a",
                           "A",
                           "dir\\longer-than-sixteen-bytes",
                           "DIR\\LONGER-THAN-SIXTEEN",
                           "\xA4\x41",
                           "\xA4\x61",
                           "\xA4",
                           "z"};
    for (std::uint32_t n = 0; n < 3000; ++n) {
        std::string text = stems[random() % 8];
        text += std::to_string(random() % 50);
        (n < 1000 ? first : second).emplace_back(text, n);
    }
    EntryList batch, single;
    batch.AddItems(first);
    batch.SetSel(5, true);
    batch.AddItems(second);
    for (const auto* part : {&first, &second}) {
        for (const auto& [text, value] : *part)
            single.SetItemData(single.AddString(text), value);
        if (part == &first)
            single.SetSel(5, true);
    }
    ASSERT_EQ(batch.GetCount(), single.GetCount());
    for (int i = 0; i < batch.GetCount(); ++i) {
        ASSERT_EQ(batch.GetText(i), single.GetText(i)) << i;
        ASSERT_EQ(batch.GetItemData(i), single.GetItemData(i)) << i;
        ASSERT_EQ(batch.GetSel(i), single.GetSel(i)) << i;
    }
    // Adding after a batch still works on the rebuilt blocks.
    EXPECT_EQ(batch.AddString(""), 0);
}

} // namespace
