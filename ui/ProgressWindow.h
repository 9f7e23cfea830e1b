#pragma once

#include "archive/Progress.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

// The modal progress window of a long command: it opens once the work has run for delayMs,
// then redraws and takes the Cancel click at most every kRedrawMs, so a run of small entries
// spends its time on the entries, not on the window.
class CProgressWindow {
public:
    static constexpr int kRedrawMs = 50;

    CProgressWindow(QWidget* owner, const QString& label, int delayMs);
    ~CProgressWindow();

    // The work's progress callback; false once the user has cancelled.
    bool update(const archive::Progress& progress);
    archive::ProgressFn callback()
    {
        return [this](const archive::Progress& p) { return update(p); };
    }

    bool isShown() const { return m_window != nullptr; }
    // Only when the window was shown: it ends reading text, with an OK button the user presses.
    void finish(const QString& text);

private:
    QWidget* m_pOwner;
    QString m_strLabel;
    int m_nDelayMs;
    QElapsedTimer m_started;
    QElapsedTimer m_sinceRedraw;
    std::unique_ptr<QProgressDialog> m_window;
};
