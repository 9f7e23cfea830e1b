// The Windows program's entry: the dialog, with the archive named on the command line opened.

#include "archive/win32/Win32.h"
#include "session/edits/PrivateScratchFolders.h"
#include "win32ui/Win32ExtractorDlg.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    // The common item dialogs want a single-threaded apartment, and a drag out wants OLE.
    OleInitialize(nullptr);
    // What earlier runs dragged out or opened before a crash is still in the temporary folder.
    session::PrivateScratchFolders::sweepStale();
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    int result = 1;
    {
        CWin32ExtractorDlg dialog;
        if (dialog.create(showCommand)) {
            int count = 0;
            PWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
            if (arguments && count > 1) {
                dialog.openArchive(archive::win32::utf8(arguments[1]));
            }
            LocalFree(arguments);
            result = dialog.run();
        }
    }
    OleUninitialize();
    return result;
}
