#include "ui/ProgressWindow.h"

#include "res/Messages.h"
#include "res/Resource.h"
#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

CProgressWindow::CProgressWindow(QWidget* owner, const QString& label, Options options)
    : m_pOwner(owner), m_strLabel(label), m_options(std::move(options))
{
    m_started.start();
}

CProgressWindow::~CProgressWindow() = default;

void CProgressWindow::runOnWorker(const std::function<void(const archive::ProgressFn&)>& work)
{
    std::exception_ptr failure;
    bool isDone = false;
    QFuture<void> worker = QtConcurrent::run([&] {
        try {
            work([this](const archive::Progress& progress) { return report(progress); });
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted after every report, so the window has drawn them all when the run ends.
        QMetaObject::invokeMethod(
            &m_inbox, [&isDone] { isDone = true; }, Qt::QueuedConnection);
    });
    while (!isDone) {
        // Input held back before the window opens reaches the window's blocking once it is up,
        // or the dialog after the run, as it did while the work ran on this thread.
        const QEventLoop::ProcessEventsFlags input =
            m_window ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
        QCoreApplication::processEvents(input | QEventLoop::WaitForMoreEvents);
    }
    worker.waitForFinished();
    if (failure)
        std::rethrow_exception(failure);
}

bool CProgressWindow::report(const archive::Progress& progress)
{
    {
        const std::lock_guard lock(m_lastMutex);
        m_last = progress;
    }
    if (!m_bOpenAsked) {
        if (m_started.elapsed() >= m_options.delayMs) {
            m_bOpenAsked = true;
            m_sinceReport.start();
            QMetaObject::invokeMethod(
                &m_inbox, [this, progress] { open(progress); }, Qt::QueuedConnection);
        }
    } else if (m_sinceReport.elapsed() >= kRedrawMs) {
        m_sinceReport.start();
        QMetaObject::invokeMethod(
            &m_inbox, [this, progress] { redraw(progress); }, Qt::QueuedConnection);
    }
    if (m_options.onWorker)
        m_options.onWorker(progress);
    return !m_bCancelled.load();
}

void CProgressWindow::open(const archive::Progress& progress)
{
    m_window = std::make_unique<QProgressDialog>(m_strLabel, uiText(res::kCancel), 0, 0, m_pOwner);
    // Else the application's name, in English.
    m_window->setWindowTitle(uiText(res::kDisplayName));
    m_window->setWindowModality(Qt::WindowModal);
    m_window->setMinimumDuration(0);
    m_window->setAutoClose(false);
    m_window->setAutoReset(false);
    QObject::connect(m_window.get(), &QProgressDialog::canceled, &m_inbox,
                     [this] { m_bCancelled.store(true); });
    // Shown now: QProgressDialog would wait for a value past its minimum, and a run that
    // reports before its first entry would stay hidden until the first redraw after it.
    m_window->show();
    redraw(progress);
}

void CProgressWindow::redraw(const archive::Progress& progress)
{
    // A cancelled window stays hidden; a value set now would show it again.
    if (m_bCancelled.load())
        return;
    m_window->setMaximum(std::max(progress.entriesTotal, 1));
    m_window->setValue(std::min(progress.entriesDone, progress.entriesTotal));
    m_window->setLabelText(
        m_strLabel +
        QStringLiteral("\n%1 / %2").arg(progress.entriesDone).arg(progress.entriesTotal));
}

void CProgressWindow::onWaitingThread(const std::function<void()>& action)
{
    QMetaObject::invokeMethod(&m_inbox, action, Qt::BlockingQueuedConnection);
}

bool CProgressWindow::finish(const std::string& utf8)
{
    const QString text = QString::fromStdString(utf8);
    if (!m_window)
        return false;
    if (m_bCancelled.load()) {
        archive::Progress last;
        {
            const std::lock_guard lock(m_lastMutex);
            last = m_last;
        }
        m_window->setMaximum(std::max(last.entriesTotal, 1));
        m_window->setValue(std::clamp(last.entriesDone, 0, last.entriesTotal));
    } else {
        m_window->setMaximum(1);
        m_window->setValue(1);
    }
    m_window->setLabelText(text);
    m_window->setCancelButtonText(uiText(res::kOk));
    // The button's click hides the window, which ends exec.
    m_window->exec();
    return true;
}
