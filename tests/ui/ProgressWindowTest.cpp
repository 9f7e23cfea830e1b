// Long commands on a worker: this thread keeps serving events while the work runs, Cancel stops
// the work at its next report, and what the work throws reaches the caller.
#include "ui/ProgressWindow.h"

#include "archive/ArchiveError.h"
#include "tests/ui/QtTestMain.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

using archive::Progress;
using archive::ProgressFn;

namespace {

QProgressDialog* shownWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<QProgressDialog*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

CProgressWindow::Options withDelay(int delayMs)
{
    CProgressWindow::Options options;
    options.delayMs = delayMs;
    return options;
}

constexpr int kNever = 600000;

TEST(ProgressWindow, QueuedCallsRunWhileTheWorkerWaitsInItsReport)
{
    const struct {
        const char* what;
        int delayMs;
        bool windowShown;
    } cases[] = {
        {"before the window opens", kNever, false},
        {"with the window open", 0, true},
    };
    for (const auto& c : cases) {
        bool served = false;
        bool windowSeen = false;
        QSemaphore done;
        CProgressWindow::Options options = withDelay(c.delayMs);
        // The worker waits for a call queued to this thread: it returns only if this thread
        // serves its events meanwhile.
        options.onWorker = [&](const Progress&) {
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    served = true;
                    windowSeen = shownWindow() != nullptr;
                    done.release();
                },
                Qt::QueuedConnection);
            done.tryAcquire(1, 10000);
        };
        CProgressWindow progress(nullptr, QStringLiteral("work"), options);
        const int result = progress.run([](const ProgressFn& report) {
            report(Progress{0, 1});
            return 7;
        });
        EXPECT_EQ(result, 7) << c.what;
        EXPECT_TRUE(served) << c.what;
        EXPECT_EQ(windowSeen, c.windowShown) << c.what;
    }
}

TEST(ProgressWindow, CancelStopsTheWorkAtItsNextReport)
{
    const struct {
        const char* what;
        void (*cancel)(QProgressDialog*);
    } cases[] = {
        {"Cancel pressed", [](QProgressDialog* w) { w->findChild<QPushButton*>()->click(); }},
        {"window closed", [](QProgressDialog* w) { w->close(); }},
    };
    for (const auto& c : cases) {
        QTimer user;
        user.setInterval(0);
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (QProgressDialog* window = shownWindow(); window && !window->wasCanceled())
                c.cancel(window);
        });
        user.start();
        CProgressWindow progress(nullptr, QStringLiteral("work"), withDelay(0));
        int reports = 0;
        // Bounded only so a window that never cancels fails the test instead of hanging it.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        const bool stopped = progress.run([&](const ProgressFn& report) {
            while (std::chrono::steady_clock::now() < giveUp) {
                ++reports;
                if (!report(Progress{reports, 1000000}))
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return false;
        });
        EXPECT_TRUE(stopped) << c.what;
        EXPECT_EQ(shownWindow(), nullptr) << c.what;
    }
}

TEST(ProgressWindow, WhatTheWorkThrowsReachesTheCaller)
{
    const struct {
        const char* what;
        int delayMs;
        std::exception_ptr thrown;
    } cases[] = {
        {"engine failure", kNever,
         std::make_exception_ptr(archive::FileError(archive::ErrorKind::cannotWrite, "/x/A.DAT",
                                                    "No space left on device", ENOSPC))},
        {"engine failure with the window open", 0,
         std::make_exception_ptr(
             archive::FormatError(archive::ErrorKind::damagedEntry, "A.DAT", "ends early"))},
        {"out of memory", kNever, std::make_exception_ptr(std::bad_alloc())},
        {"other failure", 0, std::make_exception_ptr(std::runtime_error("unexpected"))},
    };
    for (const auto& c : cases) {
        CProgressWindow progress(nullptr, QStringLiteral("work"), withDelay(c.delayMs));
        std::exception_ptr caught;
        try {
            progress.run([&](const ProgressFn& report) {
                report(Progress{0, 1});
                std::rethrow_exception(c.thrown);
                return 0;
            });
        } catch (...) {
            caught = std::current_exception();
        }
        // The very object thrown, so its type and every field arrive.
        EXPECT_EQ(caught, c.thrown) << c.what;
    }
}

} // namespace
