#pragma once

// Texts of comparing the listed archive with another archive or a folder (UTF-8). The other
// side is the older one: "added" is what the listed archive has and the other has not. Texts
// with %1, %2... are filled in by the session's wording.

namespace res::compare {

constexpr const char* kMenuCompare = "比較…";
// Checkable: the list shows only the added, changed and renamed entries.
constexpr const char* kMenuDifferingOnly = "只顯示有差異的項目";
constexpr const char* kChooseTitle = "選擇要與目前檔案庫比較的舊版檔案庫或資料夾";
// The Windows chooser's button that takes the folder selected, or the one shown, as the other
// side: its Open enters a folder.
constexpr const char* kChooseFolderButton = "選擇資料夾";
// %1 the other archive or folder.
constexpr const char* kProgress = "正在比較：%1";
// %1 added, %2 changed, %3 renamed, %4 unchanged, %5 only on the other side.
constexpr const char* kCounts = "新增 %1 個，變更 %2 個，重新命名 %3 個，未變更 %4 個，刪除 %5 個";
// After the listed archive's status line: %1 the other side's file or folder name, %2 kCounts.
constexpr const char* kStatus = "；與 %1 比較：%2";
// The long run's last words: %1 the other side, %2 kCounts.
constexpr const char* kDone = "已比較 %1：%2";
// The marks shown before, if any, stay.
constexpr const char* kCancelled = "已取消比較，標記未變更";

// A row's tooltip line.
constexpr const char* kMarkAdded = "新增：另一邊沒有此項目";
constexpr const char* kMarkChanged = "變更：內容與另一邊不同";
constexpr const char* kMarkUnchanged = "未變更";
// %1 the entry's name on the other side.
constexpr const char* kMarkRenamed = "重新命名：內容與另一邊的 %1 相同";

// Asked before the folder chooser of an extraction while marks are shown; yes keeps only the
// differing entries among those selected.
constexpr const char* kExtractDifferingQuestion =
    "只解壓有差異的項目嗎？\n選「否」則解壓所有選取的項目。";

// The mark's colour (0xRRGGBB) of each kind of row.
constexpr unsigned kAddedColor = 0x2e9d3a;
constexpr unsigned kChangedColor = 0xe08a00;
constexpr unsigned kRenamedColor = 0x2a6fdb;
constexpr unsigned kUnchangedColor = 0xc0c0c0;

} // namespace res::compare
