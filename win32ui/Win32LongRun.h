#pragma once

#include "archive/commands/Progress.h"
#include "session/LongRun.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// A long command's progress window. The work runs on a worker thread while this thread keeps
// the windows drawn and runs what the worker asks of it (a question): the dialog is disabled for
// the run, the window opens once the work has run for delayMs, shows the worker's last report at
// most every kRedrawMs, and its Cancel sets a flag the work's next report returns.
class Win32LongRun : public session::LongRun {
public:
    static constexpr int kRedrawMs = 50;

    Win32LongRun(HWND owner, std::string label, int delayMs);
    ~Win32LongRun() override;

    // Only when the window was shown: it ends reading text with an OK button the user presses.
    bool finish(const std::string& text) override;

protected:
    void runOnWorker(const std::function<void(const archive::ProgressFn&)>& work) override;
    void onWaitingThread(const std::function<void()>& action) override;

private:
    // On the worker.
    bool report(const archive::Progress& progress);
    // On this thread: messages and the worker's requests until done() says stop.
    void pumpUntil(const std::function<bool()>& done);
    void runRequests();
    void open();
    void redraw();
    static INT_PTR CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hOwner;
    std::string m_strLabel;
    int m_nDelayMs;
    std::chrono::steady_clock::time_point m_started;
    HANDLE m_hWake; // set by the worker when it asks for something or ends
    std::atomic<bool> m_bCancelled{false};
    std::atomic<bool> m_bWorkDone{false};
    std::atomic<bool> m_bFinishRead{false};
    std::mutex m_mutex; // guards what follows
    archive::Progress m_last;
    std::deque<std::function<void()>*> m_requests;
    HWND m_hWindow = nullptr;
};
