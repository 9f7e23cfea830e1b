#pragma once

// Ids, texts and geometry of the dialog template, in template order (which is the tab order).
// Rectangles are in dialog units: x, y, width, height.

#include <array>

namespace res {

constexpr int IDD_EXTRACTOR_DIALOG = 102;

constexpr int IDC_ENTRY_LIST = 1001;
constexpr int IDC_LOAD = 1010;
constexpr int IDC_EXTRACT = 1011;
constexpr int IDC_SELECT_ALL = 1012;
constexpr int IDC_DESELECT_ALL = 1013;
constexpr int IDC_MAKE_ARCHIVE = 1014;
constexpr int IDC_STATUS = 1019;
constexpr int IDC_TYPE_FILTER = 1021;
constexpr int IDC_FIND_TEXT = 1022;
constexpr int IDC_CLOSE = 1023;

enum class ControlKind { ListBox, PushButton, StaticText, ComboBox, EditBox };

struct ControlTemplate {
    int id;
    const char* name; // also the widget's object name
    ControlKind kind;
    const char* text; // UTF-8
    int x, y, width, height;
};

constexpr int kDialogWidth = 240;
constexpr int kDialogHeight = 269;
constexpr const char* kDialogFont = "新細明體";
constexpr int kDialogFontPoints = 9;
// Installed Ming faces that carry the same glyphs, tried in turn when the first is missing.
constexpr std::array<const char*, 4> kFallbackFonts = {"PMingLiU", "AR PL UMing TW",
                                                       "AR PL UMing TW MBE", "AR PL UMing HK"};
constexpr const char* kCaption = "Velmora 遊戲文件擷取器　中文化：社群志願者";
// The commands' keys, as Qt key sequences (the list's context menu shows them too).
constexpr const char* kShortcutLoad = "Ctrl+O";
constexpr const char* kShortcutExtract = "Ctrl+E";
constexpr const char* kShortcutFind = "Ctrl+F";
constexpr const char* kShortcutPreview = "Space";
constexpr const char* kShortcutReload = "F5";
constexpr const char* kShortcutRename = "F2";
constexpr const char* kShortcutDelete = "Del";
constexpr const char* kShortcutUndo = "Ctrl+Z";
// The controls' tooltips name the keys of their commands, a line each: kKeyTip with the
// command's text and its key.
struct KeyTip {
    const char* control;
    const char* text; // UTF-8
    const char* keys;
};
constexpr const char* kKeyTip = "%1 (%2)";
constexpr std::array<KeyTip, 4> kKeyTips = {{
    {"IDC_LOAD", "載入文件", kShortcutLoad},
    {"IDC_LOAD", "重新載入", kShortcutReload},
    {"IDC_EXTRACT", "解壓文件", kShortcutExtract},
    {"IDC_FIND_TEXT", "尋找", kShortcutFind},
}};
// The find box's background while its text matches no entry.
constexpr unsigned kFindMissColor = 0xffd0d0;
// The program's name on message boxes.
constexpr const char* kDisplayName = "Velmora 遊戲文件擷取器";

constexpr std::array<ControlTemplate, 10> kControls = {{
    {IDC_ENTRY_LIST, "IDC_ENTRY_LIST", ControlKind::ListBox, "", 8, 7, 224, 204},
    {IDC_LOAD, "IDC_LOAD", ControlKind::PushButton, "載入文件", 5, 248, 37, 14},
    {IDC_EXTRACT, "IDC_EXTRACT", ControlKind::PushButton, "解壓文件", 43, 248, 37, 14},
    {IDC_SELECT_ALL, "IDC_SELECT_ALL", ControlKind::PushButton, "選擇全部", 81, 248, 37, 14},
    {IDC_STATUS, "IDC_STATUS", ControlKind::StaticText, "", 7, 233, 226, 11},
    {IDC_CLOSE, "IDC_CLOSE", ControlKind::PushButton, "關閉", 211, 248, 22, 14},
    {IDC_TYPE_FILTER, "IDC_TYPE_FILTER", ControlKind::ComboBox, "", 7, 216, 88, 69},
    {IDC_DESELECT_ALL, "IDC_DESELECT_ALL", ControlKind::PushButton, "取消全選", 119, 248, 37, 14},
    {IDC_FIND_TEXT, "IDC_FIND_TEXT", ControlKind::EditBox, "", 98, 216, 134, 14},
    {IDC_MAKE_ARCHIVE, "IDC_MAKE_ARCHIVE", ControlKind::PushButton, "製作數據檔案", 157, 248, 53,
     14},
}};

// Texts the commands show.
// The status line of a listed archive: its file name and the number of entries listed.
constexpr const char* kStatusLine = "%1,共%2個檔案";
constexpr const char* kOpenFilter = "遊戲數據檔案(game??.dat)";
constexpr const char* kAllFilesFilter = "所有檔案(*.*)";
constexpr const char* kDefaultSuffix = "DAT";
constexpr const char* kDefaultFileName = "GAME00.DAT";
constexpr const char* kExtractTitle = "解壓到資料夾:";
constexpr const char* kBuildTitle = "請選擇要打包的資料夾:";
// The progress windows' labels while they run; %1 the folder.
constexpr const char* kExtractProgress = "正在解壓到資料夾：%1";
constexpr const char* kBuildProgress = "正在打包資料夾：%1";
constexpr const char* kBuildInsideFolder = "不能在該目錄中建立打包檔案";

// The list's menu of the code page names are read in, and the status line's note of the one in
// use: %1 its name as kEncodings gives it.
constexpr const char* kMenuNameEncoding = "名稱編碼";
constexpr const char* kMenuEncodingAuto = "自動";
constexpr const char* kStatusEncodingDetected = "　名稱編碼：%1（自動偵測）";
constexpr const char* kStatusEncodingChosen = "　名稱編碼：%1（手動選擇）";
// In archive::Encoding order: the name the status line shows, then the menu's item.
struct EncodingText {
    const char* name;
    const char* menuText; // UTF-8
};
constexpr std::array<EncodingText, 4> kEncodings = {{
    {"Big5", "Big5（繁體中文）"},
    {"GBK", "GBK（簡體中文）"},
    {"Shift-JIS", "Shift-JIS（日文）"},
    {"UTF-8", "UTF-8（Unicode）"},
}};

} // namespace res
