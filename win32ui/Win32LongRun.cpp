#include "win32ui/Win32LongRun.h"

#include "archive/win32/Win32.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "win32ui/ResourceIds.h"

#include <commctrl.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <thread>

using archive::win32::wide;

Win32LongRun::Win32LongRun(HWND owner, std::string label, int delayMs)
    : m_hOwner(owner), m_strLabel(std::move(label)), m_nDelayMs(delayMs),
      m_started(std::chrono::steady_clock::now()),
      m_hWake(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

Win32LongRun::~Win32LongRun()
{
    if (m_hWindow)
        DestroyWindow(m_hWindow);
    CloseHandle(m_hWake);
}

void Win32LongRun::runOnWorker(const std::function<void(const archive::ProgressFn&)>& work)
{
    // The dialog takes no input while its objects are in the work's hands.
    const bool wasEnabled = m_hOwner && !EnableWindow(m_hOwner, FALSE);
    // No delay: the window is up before the work starts, however short it is.
    if (m_nDelayMs <= 0)
        open();
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work([this](const archive::Progress& progress) { return report(progress); });
        } catch (...) {
            failure = std::current_exception();
        }
        m_bWorkDone.store(true);
        SetEvent(m_hWake);
    });
    pumpUntil([this] { return m_bWorkDone.load(); });
    worker.join();
    if (m_hOwner && wasEnabled)
        EnableWindow(m_hOwner, TRUE);
    if (failure)
        std::rethrow_exception(failure);
}

bool Win32LongRun::report(const archive::Progress& progress)
{
    {
        const std::lock_guard lock(m_mutex);
        m_last = progress;
    }
    return !m_bCancelled.load();
}

void Win32LongRun::onWaitingThread(const std::function<void()>& action)
{
    std::function<void()> request = action;
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool isDone = false;
    std::function<void()> wrapped = [&] {
        request();
        const std::lock_guard lock(doneMutex);
        isDone = true;
        doneSignal.notify_one();
    };
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(&wrapped);
    }
    SetEvent(m_hWake);
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return isDone; });
}

void Win32LongRun::runRequests()
{
    for (;;) {
        std::function<void()>* request = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_requests.empty())
                return;
            request = m_requests.front();
            m_requests.pop_front();
        }
        (*request)();
    }
}

void Win32LongRun::pumpUntil(const std::function<bool()>& done)
{
    while (!done()) {
        MsgWaitForMultipleObjects(1, &m_hWake, FALSE, kRedrawMs, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            // The end of the program comes back to the loop that will end it.
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (!m_hWindow || !IsDialogMessageW(m_hWindow, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        runRequests();
        const auto ran = std::chrono::steady_clock::now() - m_started;
        if (!m_hWindow && !m_bWorkDone.load() && ran >= std::chrono::milliseconds(m_nDelayMs))
            open();
        else if (m_hWindow && !m_bWorkDone.load())
            redraw();
    }
}

void Win32LongRun::open()
{
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    m_hWindow = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
                                   m_hOwner, windowProc, reinterpret_cast<LPARAM>(this));
    if (!m_hWindow)
        return;
    SetWindowTextW(m_hWindow, wide(res::kDisplayName).c_str());
    SetDlgItemTextW(m_hWindow, IDCANCEL, wide(res::kCancel).c_str());
    redraw();
    ShowWindow(m_hWindow, SW_SHOW);
}

void Win32LongRun::redraw()
{
    // A cancelled run's bar stays where the work stopped.
    if (m_bCancelled.load())
        return;
    archive::Progress last;
    {
        const std::lock_guard lock(m_mutex);
        last = m_last;
    }
    HWND bar = GetDlgItem(m_hWindow, IDC_PROGRESS_BAR);
    SendMessageW(bar, PBM_SETRANGE32, 0, std::max(last.entriesTotal, 1));
    SendMessageW(bar, PBM_SETPOS, std::clamp(last.entriesDone, 0, last.entriesTotal), 0);
    const std::string label = m_strLabel + "\n" + std::to_string(last.entriesDone) + " / " +
                              std::to_string(last.entriesTotal);
    SetDlgItemTextW(m_hWindow, IDC_PROGRESS_LABEL, wide(label).c_str());
}

INT_PTR CALLBACK Win32LongRun::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* run = reinterpret_cast<Win32LongRun*>(GetWindowLongPtrW(window, DWLP_USER));
    if (run && message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        if (run->m_bWorkDone.load())
            run->m_bFinishRead.store(true);
        else
            run->m_bCancelled.store(true);
        return TRUE;
    }
    return FALSE;
}

bool Win32LongRun::finish(const std::string& text)
{
    if (!m_hWindow)
        return false;
    HWND bar = GetDlgItem(m_hWindow, IDC_PROGRESS_BAR);
    if (!m_bCancelled.load()) {
        SendMessageW(bar, PBM_SETRANGE32, 0, 1);
        SendMessageW(bar, PBM_SETPOS, 1, 0);
    }
    SetDlgItemTextW(m_hWindow, IDC_PROGRESS_LABEL, wide(text).c_str());
    SetDlgItemTextW(m_hWindow, IDCANCEL, wide(res::kOk).c_str());
    const bool wasEnabled = m_hOwner && !EnableWindow(m_hOwner, FALSE);
    pumpUntil([this] { return m_bFinishRead.load() || !IsWindow(m_hWindow); });
    if (m_hOwner && wasEnabled)
        EnableWindow(m_hOwner, TRUE);
    return true;
}
