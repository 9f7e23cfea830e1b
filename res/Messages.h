#pragma once

// The dialog's Traditional Chinese texts for failures and finished runs. %1 is the file or
// entry a failure concerns; a text without a subject drops "：%1".

#include "archive/ArchiveError.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace res {

// The first line of an error message box, one for each kind the engine declares.
constexpr const char* errorKindText(archive::ErrorKind kind)
{
    using archive::ErrorKind;
    switch (kind) {
    case ErrorKind::unspecified:
        return "無法完成操作：%1";
    case ErrorKind::cannotOpen:
        return "無法開啟檔案：%1";
    case ErrorKind::cannotRead:
        return "無法讀取檔案：%1";
    case ErrorKind::cannotWrite:
        return "無法寫入檔案：%1";
    case ErrorKind::cannotCreateFolder:
        return "無法建立資料夾：%1";
    case ErrorKind::notAFolder:
        return "這不是資料夾：%1";
    case ErrorKind::notAFile:
        return "這不是一般檔案：%1";
    case ErrorKind::linkNotFollowed:
        return "這是符號連結，不會跟隨：%1";
    case ErrorKind::inTheWay:
        return "已有同名的檔案或資料夾佔用此位置：%1";
    case ErrorKind::notAnArchive:
        return "這不是有效的遊戲數據檔案，或檔案已損壞：%1";
    case ErrorKind::damagedEntry:
        return "檔案中的項目已損壞：%1";
    case ErrorKind::unsafeName:
        return "項目名稱會寫到目標資料夾之外，已拒絕：%1";
    case ErrorKind::nameNotStorable:
        return "此名稱無法存入遊戲數據檔案：%1";
    case ErrorKind::nameTooLong:
        return "名稱太長：%1";
    case ErrorKind::tooLarge:
        return "檔案太大，遊戲數據檔案容納不下：%1";
    case ErrorKind::insideSource:
        return "不能在該目錄中建立打包檔案：%1";
    case ErrorKind::alreadyOpen:
        return "此檔案已由本程式開啟：%1";
    case ErrorKind::changedWhileBuilding:
        return "打包期間檔案被修改：%1";
    case ErrorKind::changedMeanwhile:
        return "此檔案在本程式讀取或寫入之後已被其他程式變更：%1";
    case ErrorKind::folderLoop:
        return "資料夾連回包含它的資料夾：%1";
    case ErrorKind::noSuchEntry:
        return "遊戲數據檔案中沒有此項目：%1";
    case ErrorKind::ambiguousName:
        return "此名稱符合多個項目：%1";
    case ErrorKind::keptExisting:
        return "已保留現有的檔案：%1";
    case ErrorKind::nameRefusedByFileSystem:
        return "目標的檔案系統無法使用此名稱：%1";
    case ErrorKind::sameFileAsEarlierEntry:
        return "此名稱與先前寫出的另一個項目是同一個檔案（檔案系統不分大小寫），未覆寫：%1";
    case ErrorKind::internal:
        return "程式內部錯誤：%1";
    }
    return nullptr;
}

static_assert(std::ranges::all_of(archive::kAllErrorKinds,
                                  [](archive::ErrorKind kind) {
                                      return errorKindText(kind) != nullptr;
                                  }),
              "every error kind needs a text in the dialog");

// The second line of a message about a file that is not an archive: why, with the error's
// figures as %1, %2, %3 in the order the engine lists them.
constexpr const char* formatCauseText(archive::FormatCause cause)
{
    using archive::FormatCause;
    switch (cause) {
    case FormatCause::unspecified:
        return nullptr;
    case FormatCause::fileTooShort:
        return "檔案只有 %1 位元組，遊戲數據檔案至少需要 %2 位元組。";
    case FormatCause::directoryTooLarge:
        return "目錄宣稱長 %1 位元組，但長度欄位之後只有 %2 位元組。";
    case FormatCause::fileEndedEarly:
        return "讀取目錄時檔案提前結束。";
    case FormatCause::recordCutOff:
        return "位於 %1 的記錄被目錄的結尾截斷。";
    case FormatCause::recordTooShort:
        return "位於 %1 的記錄宣稱長 %2 位元組，少於最小的 %3 位元組。";
    case FormatCause::recordTooLong:
        return "位於 %1 的記錄宣稱長 %2 位元組，但目錄只剩 %3 位元組。";
    case FormatCause::nameUnterminated:
        return "位於 %1 的記錄的名稱沒有結尾的 NUL 字元。";
    case FormatCause::noRecordAt:
        return "位置 %1 沒有記錄開始。";
    }
    return nullptr;
}

struct SystemReason {
    int errorNumber;
    const char* text;
};

// The system's reasons the dialog words itself; any other number shows the system's English.
// Windows' C library declares neither EDQUOT nor ESTALE, and reports neither.
constexpr SystemReason kSystemReasons[] = {
    {ENOENT, "沒有此檔案或資料夾"},
    {EACCES, "權限不足"},
    {EPERM, "不允許此操作"},
    {ENOSPC, "磁碟空間不足"},
#ifdef EDQUOT
    {EDQUOT, "已超過磁碟配額"},
#endif
    {EFBIG, "檔案太大"},
    {EEXIST, "檔案已存在"},
    {ENAMETOOLONG, "檔案名稱太長"},
    {EMFILE, "本程式開啟的檔案太多"},
    {ENFILE, "系統開啟的檔案太多"},
    {EROFS, "唯讀的檔案系統"},
    {ENOTDIR, "路徑中有一層不是資料夾"},
    {EISDIR, "這是資料夾"},
    {ELOOP, "符號連結太多層，或此處是不跟隨的符號連結"},
    {EIO, "輸入/輸出錯誤"},
    {EBUSY, "裝置或資源忙碌中"},
    {ENOTEMPTY, "資料夾不是空的"},
    {EXDEV, "不能跨檔案系統移動"},
    {ETXTBSY, "檔案正在使用中"},
    {EINVAL, "無效的引數"},
    {ENOMEM, "記憶體不足"},
    {EAGAIN, "資源暫時無法使用"},
    {EINTR, "操作被中斷"},
    {ENXIO, "沒有此裝置或位址"},
    {ENODEV, "沒有此裝置"},
#ifdef ESTALE
    {ESTALE, "網路檔案的控制代碼已失效"},
#endif
    {EOVERFLOW, "數值超出可表示的範圍"},
    {EOPNOTSUPP, "不支援此操作"},
    {EBADF, "無效的檔案描述元"},
    {ENOEXEC, "執行檔格式錯誤"},
};

constexpr const char* kOutOfMemory = "記憶體不足，無法完成操作。";
constexpr const char* kUnexpectedError = "發生未預期的錯誤。";

// The progress window's last state after a run long enough to show it, and a finished build's
// question whatever its length. %1 entries, %2 the folder or archive.
constexpr const char* kExtractDone = "已解壓 %1 個檔案到 %2";
constexpr const char* kBuildDone = "已打包 %1 個檔案到 %2";
constexpr const char* kExtractCancelled = "已取消。取消前已解壓 %1 個檔案到 %2";
constexpr const char* kBuildCancelled = "已取消。%2 未建立（已寫入 %1 個檔案）";
// Below kBuildDone when links were left out: %1 how many, then one path a line, at most
// kBuildSkippedShown of them and kBuildSkippedMore (%1 the rest) after.
constexpr const char* kBuildSkippedLinks =
    "%1 個符號連結未打包（它們不是指向來源資料夾內的一般檔案）：";
constexpr int kBuildSkippedShown = 10;
constexpr const char* kBuildSkippedMore = "……及其他 %1 個";
// After a build that finished, below kBuildDone.
constexpr const char* kOpenBuiltArchive = "要開啟新建立的遊戲數據檔案嗎？";
constexpr const char* kOk = "確定";
constexpr const char* kCancel = "取消";

// An extraction that went past failed entries or stopped at one; %3 entries skipped.
constexpr const char* kExtractDoneSkipped = "已解壓 %1 個檔案到 %2，略過 %3 個檔案";
constexpr const char* kExtractStopped = "已停止。停止前已解壓 %1 個檔案到 %2，略過 %3 個檔案";
constexpr const char* kExtractCancelledSkipped =
    "已取消。取消前已解壓 %1 個檔案到 %2，略過 %3 個檔案";
// The question after one entry failed: the entry, the failure in the words above, for a name
// that reaches the file of an earlier entry that entry, then what to do with the rest.
constexpr const char* kEntryFailed = "無法解壓項目「%1」。";
constexpr const char* kSameFileAsEntry = "它與先前解壓的項目「%1」是同一個檔案。";
constexpr const char* kSkipFailedEntry = "要略過此檔案繼續解壓，還是停止？";
constexpr const char* kSkip = "略過";
constexpr const char* kSkipAll = "全部略過";
constexpr const char* kStop = "停止";

} // namespace res
