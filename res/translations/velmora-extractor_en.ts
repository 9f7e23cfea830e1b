<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
<context>
    <name>res</name>
    <message><source>比較…</source><translation>Compare…</translation></message>
    <message><source>只顯示有差異的項目</source><translation>Show only differing entries</translation></message>
    <message><source>選擇要與目前檔案庫比較的舊版檔案庫或資料夾</source><translation>Choose the older archive or folder to compare the open archive with</translation></message>
    <message><source>選擇資料夾</source><translation>Choose folder</translation></message>
    <message><source>正在比較：%1</source><translation>Comparing with %1</translation></message>
    <message><source>新增 %1 個，變更 %2 個，重新命名 %3 個，未變更 %4 個，刪除 %5 個</source><translation>%1 added, %2 changed, %3 renamed, %4 unchanged, %5 deleted</translation></message>
    <message><source>；與 %1 比較：%2</source><translation>; compared with %1: %2</translation></message>
    <message><source>已比較 %1：%2</source><translation>Compared with %1: %2</translation></message>
    <message><source>已取消比較，標記未變更</source><translation>Comparison cancelled; the marks are unchanged</translation></message>
    <message><source>新增：另一邊沒有此項目</source><translation>Added: the other side has no such entry</translation></message>
    <message><source>變更：內容與另一邊不同</source><translation>Changed: the contents differ from the other side</translation></message>
    <message><source>未變更</source><translation>Unchanged</translation></message>
    <message><source>重新命名：內容與另一邊的 %1 相同</source><translation>Renamed: same contents as %1 on the other side</translation></message>
    <message><source>只解壓有差異的項目嗎？&#xa;選「否」則解壓所有選取的項目。</source><translation>Extract only the differing entries?&#xa;Choose &quot;No&quot; to extract all selected entries.</translation></message>
    <message><source>加入檔案…</source><translation>Add files…</translation></message>
    <message><source>取代…</source><translation>Replace…</translation></message>
    <message><source>重新命名…</source><translation>Rename…</translation></message>
    <message><source>刪除</source><translation>Delete</translation></message>
    <message><source>以其他程式開啟</source><translation>Open with another program</translation></message>
    <message><source>以資料夾開啟</source><translation>Open as a folder</translation></message>
    <message><source>復原</source><translation>Undo</translation></message>
    <message><source>選擇要加入 %1 的檔案</source><translation>Choose the files to add to %1</translation></message>
    <message><source>選擇用來取代 %1 的檔案</source><translation>Choose the file to replace %1 with</translation></message>
    <message><source>重新命名</source><translation>Rename</translation></message>
    <message><source>%1 的新名稱（以 \ 分隔資料夾）：</source><translation>New name of %1 (folders separated by \):</translation></message>
    <message><source>要從 %2 刪除 %1 個項目嗎？</source><translation>Delete %1 entries from %2?</translation></message>
    <message><source>要把拖入的檔案加入 %1 嗎？&#xa;將新增 %2 個項目，取代 %3 個項目。</source><translation>Add the dropped files to %1?&#xa;%2 entries will be added and %3 replaced.</translation></message>
    <message><source>%1 已修改，要更新到檔案庫嗎？</source><translation>%1 was changed. Update it in the archive?</translation></message>
    <message><source>%1 已修改。它來自 %2，不是目前開啟的檔案庫；要更新到 %2 嗎？</source><translation>%1 was changed. It comes from %2, not from the archive open now; update it in %2?</translation></message>
    <message><source>新名稱是空的，項目未重新命名。</source><translation>The new name is empty; the entry was not renamed.</translation></message>
    <message><source>正在更新遊戲數據檔案…</source><translation>Updating the game data file…</translation></message>
    <message><source>正在復原遊戲數據檔案（MiB）…</source><translation>Undoing the change to the game data file (MiB)…</translation></message>
    <message><source>已更新 %1：新增 %2 個，取代 %3 個，刪除 %4 個，重新命名 %5 個</source><translation>Updated %1: %2 added, %3 replaced, %4 deleted, %5 renamed</translation></message>
    <message><source>；其他硬連結仍是原來的檔案庫</source><translation>; its other hard links still reach the earlier archive</translation></message>
    <message><source>已取消。%1 未變更</source><translation>Cancelled. %1 is unchanged</translation></message>
    <message><source>已復原 %1</source><translation>Undid the last change to %1</translation></message>
    <message><source>無法復原 %1：上次變更之後，其他程式已修改此檔案，復原會蓋掉它的修改。&#xa;清單已重新載入此檔案目前的內容。</source><translation>Cannot undo the change to %1: another program changed the file since, and undoing would overwrite its changes.&#xa;The list now shows the file as it is.</translation></message>
    <message><source>沒有可開啟此檔案的程式：%1</source><translation>No program can open this file: %1</translation></message>
    <message><source>沒有可開啟此資料夾的程式：%1</source><translation>No program can open this folder: %1</translation></message>
    <message><source>以資料夾開啟的變更未能寫入 %1：&#xa;%2&#xa;變更保留在 %3，下次以資料夾開啟時會詢問是否寫入。</source><translation>The changes made in the folder could not be written to %1:&#xa;%2&#xa;They are kept in %3; the next time it is opened as a folder you will be asked whether to write them.</translation></message>
    <message><source>上次以資料夾開啟 %1 時，有變更未寫入（保留在 %2）。&#xa;要先把這些變更寫入檔案庫嗎？</source><translation>When %1 was last opened as a folder, some changes were not written (they are kept in %2).&#xa;Write them into the archive first?</translation></message>
    <message><source>無法完成操作：%1</source><translation>Cannot complete the operation: %1</translation></message>
    <message><source>無法開啟檔案：%1</source><translation>Cannot open the file: %1</translation></message>
    <message><source>無法讀取檔案：%1</source><translation>Cannot read the file: %1</translation></message>
    <message><source>無法寫入檔案：%1</source><translation>Cannot write the file: %1</translation></message>
    <message><source>無法建立資料夾：%1</source><translation>Cannot create the folder: %1</translation></message>
    <message><source>這不是資料夾：%1</source><translation>This is not a folder: %1</translation></message>
    <message><source>這不是一般檔案：%1</source><translation>This is not a regular file: %1</translation></message>
    <message><source>這是符號連結，不會跟隨：%1</source><translation>This is a symbolic link, which is not followed: %1</translation></message>
    <message><source>已有同名的檔案或資料夾佔用此位置：%1</source><translation>A file or folder of the same name is in the way: %1</translation></message>
    <message><source>這不是有效的遊戲數據檔案，或檔案已損壞：%1</source><translation>This is not a valid game data file, or the file is damaged: %1</translation></message>
    <message><source>檔案中的項目已損壞：%1</source><translation>An entry of the file is damaged: %1</translation></message>
    <message><source>項目名稱會寫到目標資料夾之外，已拒絕：%1</source><translation>The entry's name would write outside the destination folder, refused: %1</translation></message>
    <message><source>此名稱無法存入遊戲數據檔案：%1</source><translation>This name cannot be stored in a game data file: %1</translation></message>
    <message><source>名稱太長：%1</source><translation>Name too long: %1</translation></message>
    <message><source>檔案太大，遊戲數據檔案容納不下：%1</source><translation>The file is too large for a game data file: %1</translation></message>
    <message><source>不能在該目錄中建立打包檔案：%1</source><translation>Cannot create the archive inside that folder: %1</translation></message>
    <message><source>此檔案已由本程式開啟：%1</source><translation>This program already has this file open: %1</translation></message>
    <message><source>打包期間檔案被修改：%1</source><translation>A file was changed while it was being packed: %1</translation></message>
    <message><source>此檔案在本程式讀取或寫入之後已被其他程式變更：%1</source><translation>Another program changed this file after this program read or wrote it: %1</translation></message>
    <message><source>資料夾連回包含它的資料夾：%1</source><translation>The folder leads back to a folder holding it: %1</translation></message>
    <message><source>遊戲數據檔案中沒有此項目：%1</source><translation>The game data file has no such entry: %1</translation></message>
    <message><source>此名稱符合多個項目：%1</source><translation>This name matches several entries: %1</translation></message>
    <message><source>已保留現有的檔案：%1</source><translation>Kept the existing file: %1</translation></message>
    <message><source>目標的檔案系統無法使用此名稱：%1</source><translation>The destination's file system cannot use this name: %1</translation></message>
    <message><source>此名稱與先前寫出的另一個項目是同一個檔案（檔案系統不分大小寫），未覆寫：%1</source><translation>This name reaches the same file as another entry written earlier (the file system ignores case); not overwritten: %1</translation></message>
    <message><source>程式內部錯誤：%1</source><translation>Internal error: %1</translation></message>
    <message><source>檔案只有 %1 位元組，遊戲數據檔案至少需要 %2 位元組。</source><translation>The file has only %1 bytes; a game data file needs at least %2 bytes.</translation></message>
    <message><source>目錄宣稱長 %1 位元組，但長度欄位之後只有 %2 位元組。</source><translation>The directory claims %1 bytes, but only %2 bytes follow its length field.</translation></message>
    <message><source>讀取目錄時檔案提前結束。</source><translation>The file ended while its directory was read.</translation></message>
    <message><source>位於 %1 的記錄被目錄的結尾截斷。</source><translation>The record at %1 is cut off by the end of the directory.</translation></message>
    <message><source>位於 %1 的記錄宣稱長 %2 位元組，少於最小的 %3 位元組。</source><translation>The record at %1 claims %2 bytes, fewer than the least possible %3 bytes.</translation></message>
    <message><source>位於 %1 的記錄宣稱長 %2 位元組，但目錄只剩 %3 位元組。</source><translation>The record at %1 claims %2 bytes, but only %3 bytes of the directory are left.</translation></message>
    <message><source>位於 %1 的記錄的名稱沒有結尾的 NUL 字元。</source><translation>The name of the record at %1 has no terminating NUL character.</translation></message>
    <message><source>位置 %1 沒有記錄開始。</source><translation>No record starts at %1.</translation></message>
    <message><source>沒有此檔案或資料夾</source><translation>No such file or folder</translation></message>
    <message><source>權限不足</source><translation>Permission denied</translation></message>
    <message><source>不允許此操作</source><translation>Operation not permitted</translation></message>
    <message><source>磁碟空間不足</source><translation>No space left on the disk</translation></message>
    <message><source>已超過磁碟配額</source><translation>Disk quota exceeded</translation></message>
    <message><source>檔案太大</source><translation>File too large</translation></message>
    <message><source>檔案已存在</source><translation>File exists</translation></message>
    <message><source>檔案名稱太長</source><translation>File name too long</translation></message>
    <message><source>本程式開啟的檔案太多</source><translation>Too many files open in this program</translation></message>
    <message><source>系統開啟的檔案太多</source><translation>Too many files open in the system</translation></message>
    <message><source>唯讀的檔案系統</source><translation>Read-only file system</translation></message>
    <message><source>路徑中有一層不是資料夾</source><translation>A part of the path is not a folder</translation></message>
    <message><source>這是資料夾</source><translation>This is a folder</translation></message>
    <message><source>符號連結太多層，或此處是不跟隨的符號連結</source><translation>Too many levels of symbolic links, or a symbolic link that is not followed</translation></message>
    <message><source>輸入/輸出錯誤</source><translation>Input/output error</translation></message>
    <message><source>裝置或資源忙碌中</source><translation>Device or resource busy</translation></message>
    <message><source>資料夾不是空的</source><translation>Folder not empty</translation></message>
    <message><source>不能跨檔案系統移動</source><translation>Cannot move across file systems</translation></message>
    <message><source>檔案正在使用中</source><translation>File in use</translation></message>
    <message><source>無效的引數</source><translation>Invalid argument</translation></message>
    <message><source>記憶體不足</source><translation>Out of memory</translation></message>
    <message><source>資源暫時無法使用</source><translation>Resource temporarily unavailable</translation></message>
    <message><source>操作被中斷</source><translation>Interrupted</translation></message>
    <message><source>沒有此裝置或位址</source><translation>No such device or address</translation></message>
    <message><source>沒有此裝置</source><translation>No such device</translation></message>
    <message><source>網路檔案的控制代碼已失效</source><translation>Stale network file handle</translation></message>
    <message><source>數值超出可表示的範圍</source><translation>Value too large to be represented</translation></message>
    <message><source>不支援此操作</source><translation>Operation not supported</translation></message>
    <message><source>無效的檔案描述元</source><translation>Bad file descriptor</translation></message>
    <message><source>執行檔格式錯誤</source><translation>Executable format error</translation></message>
    <message><source>記憶體不足，無法完成操作。</source><translation>Out of memory; the operation could not be completed.</translation></message>
    <message><source>發生未預期的錯誤。</source><translation>An unexpected error occurred.</translation></message>
    <message><source>已解壓 %1 個檔案到 %2</source><translation>Extracted %1 files to %2</translation></message>
    <message><source>已打包 %1 個檔案到 %2</source><translation>Packed %1 files into %2</translation></message>
    <message><source>已取消。取消前已解壓 %1 個檔案到 %2</source><translation>Cancelled. %1 files had been extracted to %2</translation></message>
    <message><source>已取消。%2 未建立（已寫入 %1 個檔案）</source><translation>Cancelled. %2 was not created (%1 files had been written)</translation></message>
    <message><source>%1 個符號連結未打包（它們不是指向來源資料夾內的一般檔案）：</source><translation>%1 symbolic links were not packed (they do not lead to a regular file inside the source folder):</translation></message>
    <message><source>……及其他 %1 個</source><translation>…and %1 more</translation></message>
    <message><source>要開啟新建立的遊戲數據檔案嗎？</source><translation>Open the new game data file?</translation></message>
    <message><source>確定</source><translation>OK</translation></message>
    <message><source>取消</source><translation>Cancel</translation></message>
    <message><source>已解壓 %1 個檔案到 %2，略過 %3 個檔案</source><translation>Extracted %1 files to %2, skipped %3 files</translation></message>
    <message><source>已停止。停止前已解壓 %1 個檔案到 %2，略過 %3 個檔案</source><translation>Stopped. %1 files had been extracted to %2, %3 files skipped</translation></message>
    <message><source>已取消。取消前已解壓 %1 個檔案到 %2，略過 %3 個檔案</source><translation>Cancelled. %1 files had been extracted to %2, %3 files skipped</translation></message>
    <message><source>無法解壓項目「%1」。</source><translation>Cannot extract the entry “%1”.</translation></message>
    <message><source>它與先前解壓的項目「%1」是同一個檔案。</source><translation>It is the same file as the entry “%1” extracted earlier.</translation></message>
    <message><source>要略過此檔案繼續解壓，還是停止？</source><translation>Skip this file and go on extracting, or stop?</translation></message>
    <message><source>略過</source><translation>Skip</translation></message>
    <message><source>全部略過</source><translation>Skip all</translation></message>
    <message><source>停止</source><translation>Stop</translation></message>
    <message><source>預覽</source><translation>Preview</translation></message>
    <message><source>解壓選取的檔案…</source><translation>Extract the selected files…</translation></message>
    <message><source>複製名稱</source><translation>Copy name</translation></message>
    <message><source>十六進位</source><translation>Hex</translation></message>
    <message><source>播放</source><translation>Play</translation></message>
    <message><source>大小 %1 位元組　資料位置 %2　記錄位置 %3　解壓為 %4</source><translation>Size %1 bytes   data at %2   record at %3   extracts as %4</translation></message>
    <message><source>大小 %1 位元組&#xa;資料位置 %2</source><translation>Size %1 bytes&#xa;Data at %2</translation></message>
    <message><source>%1 × %2　%3 位元色深　調色盤 %4 色</source><translation>%1 × %2   %3-bit colour   %4-colour palette</translation></message>
    <message><source>%1 × %2　%3 位元色深　無調色盤</source><translation>%1 × %2   %3-bit colour   no palette</translation></message>
    <message><source>%1 聲道　%2 Hz　%3 位元　%4 秒　%5</source><translation>%1 channels   %2 Hz   %3 bits   %4 s   %5</translation></message>
    <message><source>%1 位元組</source><translation>%1 bytes</translation></message>
    <message><source>此電腦沒有音效輸出裝置，無法播放。</source><translation>This computer has no sound output device; the sound cannot play.</translation></message>
    <message><source>無法播放此聲音：%1</source><translation>Cannot play this sound: %1</translation></message>
    <message><source>此項目有 %1 位元組，超過 %2 MiB，不作圖片或聲音預覽；以下只顯示前 %3 MiB 的十六進位內容。</source><translation>This entry has %1 bytes, more than %2 MiB, and is not previewed as a picture or sound; only the first %3 MiB are shown in hex below.</translation></message>
    <message><source>無法解碼圖片：%1</source><translation>Cannot decode the picture: %1</translation></message>
    <message><source>圖片宣稱 %1 × %2 像素，超過可顯示的大小：%3</source><translation>The picture claims %1 × %2 pixels, more than can be shown: %3</translation></message>
    <message><source>上限為 %1 像素</source><translation>the limit is %1 pixels</translation></message>
    <message><source>此文字有 %1 位元組，以下只顯示前 %2 MiB。</source><translation>This text has %1 bytes; only the first %2 MiB are shown below.</translation></message>
    <message><source>無法讀取聲音檔頭：%1</source><translation>Cannot read the sound's header: %1</translation></message>
    <message><source>此項目已損壞，資料超出檔案結尾：%1</source><translation>This entry is damaged, its data runs past the end of the file: %1</translation></message>
    <message><source>無法讀取此項目：%1</source><translation>Cannot read this entry: %1</translation></message>
    <message><source>（無法解壓：%1）</source><translation>(cannot be extracted: %1)</translation></message>
    <message><source>不是 RIFF WAVE 檔頭</source><translation>not a RIFF WAVE header</translation></message>
    <message><source>區塊宣稱的長度超出項目結尾</source><translation>a chunk claims a length past the end of the entry</translation></message>
    <message><source>缺少 fmt 區塊</source><translation>no fmt chunk</translation></message>
    <message><source>fmt 區塊太短</source><translation>the fmt chunk is too short</translation></message>
    <message><source>不支援的編碼（只支援 PCM 與 IMA ADPCM）</source><translation>unsupported encoding (only PCM and IMA ADPCM are)</translation></message>
    <message><source>聲道數不合理</source><translation>implausible number of channels</translation></message>
    <message><source>取樣率不合理</source><translation>implausible sample rate</translation></message>
    <message><source>不支援的取樣位元數</source><translation>unsupported bits per sample</translation></message>
    <message><source>區塊大小與聲道、位元數不符</source><translation>the block size does not fit the channels and bits</translation></message>
    <message><source>缺少 data 區塊</source><translation>no data chunk</translation></message>
    <message><source>data 區塊宣稱的長度超出項目結尾</source><translation>the data chunk claims a length past the end of the entry</translation></message>
    <message><source>無法拖出檔案</source><translation>Cannot drag the files out</translation></message>
    <message><source>Velmora 遊戲文件擷取器　中文化：社群志願者</source><translation>Velmora Game File Extractor</translation></message>
    <message><source>載入文件</source><translation>Load</translation></message>
    <message><source>重新載入</source><translation>Reload</translation></message>
    <message><source>解壓文件</source><translation>Extract</translation></message>
    <message><source>尋找</source><translation>Find</translation></message>
    <message><source>Velmora 遊戲文件擷取器</source><translation>Velmora Game File Extractor</translation></message>
    <message><source>選擇全部</source><translation>All</translation></message>
    <message><source>關閉</source><translation>Close</translation></message>
    <message><source>取消全選</source><translation>None</translation></message>
    <message><source>製作數據檔案</source><translation>Make archive</translation></message>
    <message><source>%1,共%2個檔案</source><translation>%1, %2 files</translation></message>
    <message><source>遊戲數據檔案(game??.dat)</source><translation>Game data files (game??.dat)</translation></message>
    <message><source>所有檔案(*.*)</source><translation>All files (*.*)</translation></message>
    <message><source>解壓到資料夾:</source><translation>Extract to folder:</translation></message>
    <message><source>請選擇要打包的資料夾:</source><translation>Choose the folder to pack:</translation></message>
    <message><source>正在解壓到資料夾：%1</source><translation>Extracting to folder: %1</translation></message>
    <message><source>正在打包資料夾：%1</source><translation>Packing folder: %1</translation></message>
    <message><source>不能在該目錄中建立打包檔案</source><translation>Cannot create the archive inside that folder</translation></message>
    <message><source>名稱編碼</source><translation>Name encoding</translation></message>
    <message><source>自動</source><translation>Automatic</translation></message>
    <message><source>　名稱編碼：%1（自動偵測）</source><translation>   names: %1 (detected)</translation></message>
    <message><source>　名稱編碼：%1（手動選擇）</source><translation>   names: %1 (chosen)</translation></message>
    <message><source>Big5（繁體中文）</source><translation>Big5 (Traditional Chinese)</translation></message>
    <message><source>GBK（簡體中文）</source><translation>GBK (Simplified Chinese)</translation></message>
    <message><source>Shift-JIS（日文）</source><translation>Shift-JIS (Japanese)</translation></message>
    <message><source>UTF-8（Unicode）</source><translation>UTF-8 (Unicode)</translation></message>
</context>
</TS>
