#pragma once

#include "archive/commands/Progress.h"
#include "session/LongRun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

class QProgressDialog;
class QWidget;

// The modal progress window of a long command. The command's work runs on a worker thread while
// this thread keeps the windows drawn: the window opens at the first report once the work has
// run for delayMs, is redrawn at most every kRedrawMs, and its Cancel sets a flag that the
// work's next report returns. The user's input is held back until the window opens, and the
// open window blocks the dialog, so no other command reaches the objects the work is using.
class CProgressWindow : public session::LongRun {
public:
    static constexpr int kRedrawMs = 50;

    struct Options {
        int delayMs = 500;
        // Called on the worker with every report, before Cancel is read: tests hold the worker
        // there to act while it runs.
        std::function<void(const archive::Progress&)> onWorker;
    };

    CProgressWindow(QWidget* owner, const QString& label, Options options);
    ~CProgressWindow() override;

    // Only when the window was shown: it ends reading text, with an OK button the user presses,
    // and true is returned. A finished run's bar is full; a cancelled one's stays where the work
    // stopped.
    bool finish(const std::string& text) override;

protected:
    void runOnWorker(const std::function<void(const archive::ProgressFn&)>& work) override;
    // Runs action on this window's thread and waits for it, so a question the work must put to
    // the user opens like any other window of the dialog.
    void onWaitingThread(const std::function<void()>& action) override;

private:
    // On the worker.
    bool report(const archive::Progress& progress);
    // On this thread, from the worker's reports.
    void open(const archive::Progress& progress);
    void redraw(const archive::Progress& progress);

    QWidget* m_pOwner;
    QString m_strLabel;
    Options m_options;
    QElapsedTimer m_started;
    std::atomic<bool> m_bCancelled{false};
    // The worker's own: whether it has asked for the window, and when it last sent a report.
    bool m_bOpenAsked = false;
    QElapsedTimer m_sinceReport;
    // The worker's last report, which the cancelled run's bar ends at.
    std::mutex m_lastMutex;
    archive::Progress m_last;
    // Receives the worker's reports on this thread.
    QObject m_inbox;
    std::unique_ptr<QProgressDialog> m_window;
};
