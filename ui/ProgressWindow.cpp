#include "ui/ProgressWindow.h"

#include "res/Messages.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

CProgressWindow::CProgressWindow(QWidget* owner, const QString& label, int delayMs)
    : m_pOwner(owner), m_strLabel(label), m_nDelayMs(delayMs)
{
    m_started.start();
}

CProgressWindow::~CProgressWindow() = default;

bool CProgressWindow::update(const archive::Progress& progress)
{
    if (!m_window) {
        if (m_started.elapsed() < m_nDelayMs)
            return true;
        m_window = std::make_unique<QProgressDialog>(m_strLabel, QString::fromUtf8(res::kCancel), 0,
                                                     0, m_pOwner);
        m_window->setWindowModality(Qt::WindowModal);
        m_window->setMinimumDuration(0);
        m_window->setAutoClose(false);
        m_window->setAutoReset(false);
        // Shown now: QProgressDialog would wait for a value past its minimum, and a run that
        // reports before its first entry would stay hidden until the first redraw after it.
        m_window->show();
    } else if (m_sinceRedraw.elapsed() < kRedrawMs) {
        // A click can only have arrived in the last event processing, already answered.
        return true;
    }
    m_window->setMaximum(std::max(progress.entriesTotal, 1));
    m_window->setValue(std::min(progress.entriesDone, progress.entriesTotal));
    m_window->setLabelText(
        m_strLabel +
        QStringLiteral("\n%1 / %2").arg(progress.entriesDone).arg(progress.entriesTotal));
    QCoreApplication::processEvents();
    m_sinceRedraw.start();
    return !m_window->wasCanceled();
}

void CProgressWindow::finish(const QString& text)
{
    if (!m_window)
        return;
    m_window->setMaximum(1);
    m_window->setValue(1);
    m_window->setLabelText(text);
    m_window->setCancelButtonText(QString::fromUtf8(res::kOk));
    // The button's click hides the window, which ends exec.
    m_window->exec();
}
