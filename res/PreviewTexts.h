#pragma once

// Texts of the preview window, the list's context menu and its tooltips (UTF-8). Texts with %1,
// %2... are filled in by QString::arg.

namespace res::preview {

constexpr const char* kMenuPreview = "預覽";
constexpr const char* kMenuExtract = "解壓選取的檔案…";
constexpr const char* kMenuCopyName = "複製名稱";

constexpr const char* kHexToggle = "十六進位";
constexpr const char* kPlay = "播放";
constexpr const char* kStop = "停止";

// Size, data offset, record offset, the path below the extraction folder.
constexpr const char* kDetails = "大小 %1 位元組　資料位置 %2　記錄位置 %3　解壓為 %4";
constexpr const char* kToolTip = "大小 %1 位元組\n資料位置 %2";
// Width, height, bit depth, palette size.
constexpr const char* kPictureLine = "%1 × %2　%3 位元色深　調色盤 %4 色";
// Width, height, bit depth of a picture whose pixels hold their colours directly.
constexpr const char* kPictureLineNoPalette = "%1 × %2　%3 位元色深　無調色盤";
// Channels, rate, bits, seconds, encoding.
constexpr const char* kSoundLine = "%1 聲道　%2 Hz　%3 位元　%4 秒　%5";
constexpr const char* kPcm = "PCM";
constexpr const char* kImaAdpcm = "IMA ADPCM";
constexpr const char* kHexLine = "%1 位元組";

constexpr const char* kNoAudioDevice = "此電腦沒有音效輸出裝置，無法播放。";
constexpr const char* kCannotPlay = "無法播放此聲音：%1";
constexpr const char* kTooLarge =
    "此項目有 %1 位元組，超過 %2 MiB，不作圖片或聲音預覽；以下只顯示前 %3 MiB 的十六進位內容。";
constexpr const char* kPictureUndecodable = "無法解碼圖片：%1";
constexpr const char* kPictureTooLarge = "圖片宣稱 %1 × %2 像素，超過可顯示的大小：%3";
constexpr const char* kPictureLimit = "上限為 %1 像素";
constexpr const char* kTextTooLarge = "此文字有 %1 位元組，以下只顯示前 %2 MiB。";
constexpr const char* kSoundUnreadable = "無法讀取聲音檔頭：%1";
constexpr const char* kEntryDamaged = "此項目已損壞，資料超出檔案結尾：%1";
constexpr const char* kEntryUnreadable = "無法讀取此項目：%1";
constexpr const char* kNoHostPath = "（無法解壓：%1）";

// Why a WAVE header was refused, one per problem of the parser.
constexpr const char* kWaveNotRiff = "不是 RIFF WAVE 檔頭";
constexpr const char* kWaveChunkPastEnd = "區塊宣稱的長度超出項目結尾";
constexpr const char* kWaveNoFormat = "缺少 fmt 區塊";
constexpr const char* kWaveFormatShort = "fmt 區塊太短";
constexpr const char* kWaveEncoding = "不支援的編碼（只支援 PCM 與 IMA ADPCM）";
constexpr const char* kWaveChannels = "聲道數不合理";
constexpr const char* kWaveRate = "取樣率不合理";
constexpr const char* kWaveBits = "不支援的取樣位元數";
constexpr const char* kWaveBlockAlign = "區塊大小與聲道、位元數不符";
constexpr const char* kWaveNoData = "缺少 data 區塊";
constexpr const char* kWaveDataPastEnd = "data 區塊宣稱的長度超出項目結尾";

constexpr const char* kDragFailed = "無法拖出檔案";

} // namespace res::preview
