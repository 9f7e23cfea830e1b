; The Windows installer, made by scripts/package-windows.sh with Debian's makensis:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DSTAGE=<folder of the zip> -DOUTFILE=<setup.exe>
;     [-DWITH_DIALOG] velmora-extractor.nsi
; WITH_DIALOG when the stage holds velmora-extractor.exe: only then are the Start-menu entry of
; the dialog and the archive association made. "/S" installs and uninstalls silently.
; A 64-bit installer for the 64-bit programs (and for a Wine without its 32-bit half).
Target amd64-unicode
!include "MUI2.nsh"

!define APPKEY "VelmoraExtractor"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APPKEY}"
!define PROGID "Velmora.Archive"
!define MENUNAME "Velmora 遊戲文件擷取器"

Name "${MENUNAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velmora Extractor"
InstallDirRegKey HKLM "${UNINSTKEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails nevershow

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef WITH_DIALOG
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora-extractor.exe"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "English"

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}\velmora-dat.exe"
    File "${STAGE}\README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\${MENUNAME}"
    CreateShortcut "$SMPROGRAMS\${MENUNAME}\README.lnk" "$INSTDIR\README.txt"
!ifdef WITH_DIALOG
    File "${STAGE}\velmora-extractor.exe"
    CreateShortcut "$SMPROGRAMS\${MENUNAME}\${MENUNAME}.lnk" "$INSTDIR\velmora-extractor.exe"
    ; Windows associates by extension only, and .dat is everybody's: the dialog is offered for
    ; every .dat in "Open with", and is the default only where nothing else already is.
    WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Velmora game archive"
    WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\velmora-extractor.exe,0"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\velmora-extractor.exe" "%1"'
    WriteRegStr HKLM "Software\Classes\.dat\OpenWithProgids" "${PROGID}" ""
    ReadRegStr $0 HKLM "Software\Classes\.dat" ""
    StrCmp $0 "" 0 +2
        WriteRegStr HKLM "Software\Classes\.dat" "" "${PROGID}"
    WriteRegStr HKLM "Software\Classes\Applications\velmora-extractor.exe\SupportedTypes" ".dat" ""
    WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\velmora-extractor.exe,0"
!endif
    WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${MENUNAME}"
    WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    ; Only what the installer put there: a user's files left in the folder keep it.
    Delete "$INSTDIR\velmora-extractor.exe"
    Delete "$INSTDIR\velmora-dat.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "$SMPROGRAMS\${MENUNAME}"
    ReadRegStr $0 HKLM "Software\Classes\.dat" ""
    StrCmp $0 "${PROGID}" 0 +2
        DeleteRegValue HKLM "Software\Classes\.dat" ""
    DeleteRegValue HKLM "Software\Classes\.dat\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\.dat\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.dat"
    DeleteRegKey HKLM "Software\Classes\${PROGID}"
    DeleteRegKey HKLM "Software\Classes\Applications\velmora-extractor.exe"
    DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
