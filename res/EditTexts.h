#pragma once

// Texts of the commands that change the open archive: the list's context menu, their questions
// and prompts (UTF-8). Texts with %1, %2... are filled in by QString::arg.

namespace res::edit {

constexpr const char* kMenuAddFiles = "加入檔案…";
constexpr const char* kMenuReplace = "取代…";
constexpr const char* kMenuRename = "重新命名…";
constexpr const char* kMenuDelete = "刪除";
constexpr const char* kMenuOpenWith = "以其他程式開啟";
constexpr const char* kMenuOpenAsFolder = "以資料夾開啟";
constexpr const char* kMenuUndo = "復原";

// %1 the folder inside the archive the files go to ("\" for the top level).
constexpr const char* kAddFilesTitle = "選擇要加入 %1 的檔案";
// %1 the entry whose bytes are replaced.
constexpr const char* kReplaceTitle = "選擇用來取代 %1 的檔案";
constexpr const char* kRenameCaption = "重新命名";
// %1 the entry's name now.
constexpr const char* kRenameLabel = "%1 的新名稱（以 \\ 分隔資料夾）：";
// %1 how many entries, %2 the archive's file name.
constexpr const char* kDeleteQuestion = "要從 %2 刪除 %1 個項目嗎？";
// %1 the archive's file name, %2 entries added, %3 entries replaced.
constexpr const char* kDropQuestion =
    "要把拖入的檔案加入 %1 嗎？\n將新增 %2 個項目，取代 %3 個項目。";
// %1 the entry whose copy was saved in another program.
constexpr const char* kEditedQuestion = "%1 已修改，要更新到檔案庫嗎？";
// The same for a copy of an entry of an archive other than the one listed now: %2 that archive.
constexpr const char* kEditedOtherQuestion =
    "%1 已修改。它來自 %2，不是目前開啟的檔案庫；要更新到 %2 嗎？";
// A new name left empty in the rename prompt.
constexpr const char* kEmptyName = "新名稱是空的，項目未重新命名。";

// The progress window of a change and of an undo.
constexpr const char* kUpdateTitle = "正在更新遊戲數據檔案…";
// Putting back counts MiB.
constexpr const char* kUndoTitle = "正在復原遊戲數據檔案（MiB）…";
// %1 the archive, %2 added, %3 replaced, %4 deleted, %5 renamed.
constexpr const char* kUpdateDone = "已更新 %1：新增 %2 個，取代 %3 個，刪除 %4 個，重新命名 %5 個";
// Added to kUpdateDone when the archive had other hard links, which the update left as they were.
constexpr const char* kUpdateSplitLinks = "；其他硬連結仍是原來的檔案庫";
constexpr const char* kUpdateCancelled = "已取消。%1 未變更";
constexpr const char* kUndoDone = "已復原 %1";
// Undo refused because another program changed the archive after the change; %1 the archive.
constexpr const char* kUndoRefused =
    "無法復原 %1：上次變更之後，其他程式已修改此檔案，復原會蓋掉它的修改。\n"
    "清單已重新載入此檔案目前的內容。";

// %1 the temporary copy the desktop could not open.
constexpr const char* kCannotOpenWith = "沒有可開啟此檔案的程式：%1";
// %1 the folder the archive is mounted on, which the desktop could not open.
constexpr const char* kCannotOpenFolder = "沒有可開啟此資料夾的程式：%1";
// %1 the archive, %2 the reason, %3 the folder that keeps the changes.
constexpr const char* kFolderChangesKept =
    "以資料夾開啟的變更未能寫入 %1：\n%2\n變更保留在 %3，下次以資料夾開啟時會詢問是否寫入。";
// Asked when an earlier mount of %1 left changes in the folder %2.
constexpr const char* kRecoverFolderChanges =
    "上次以資料夾開啟 %1 時，有變更未寫入（保留在 %2）。\n要先把這些變更寫入檔案庫嗎？";

} // namespace res::edit
