#pragma once

#include "archive/commands/Progress.h"

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace session {

// A long command's work on a worker thread, with progress shown and a cancel the work's next
// report returns, while the thread that started it waits without running any other command.
// Questions the work must put to the user are asked on the waiting thread.
class LongRun {
public:
    virtual ~LongRun() = default;

    // Runs work(report) on a worker and returns what it returned; what it threw is thrown here.
    template <class Work>
    auto run(Work&& work) -> std::invoke_result_t<Work&, const archive::ProgressFn&>
    {
        std::optional<std::invoke_result_t<Work&, const archive::ProgressFn&>> result;
        runOnWorker([&](const archive::ProgressFn& report) { result.emplace(work(report)); });
        return std::move(*result);
    }

    // From the work only: runs ask on the waiting thread and returns what it returned.
    template <class Ask> auto askFromWorker(Ask&& ask) -> std::invoke_result_t<Ask&>
    {
        std::optional<std::invoke_result_t<Ask&>> answer;
        onWaitingThread([&] { answer.emplace(ask()); });
        return std::move(*answer);
    }

    // The run's last words, shown only when its progress was shown; then true.
    virtual bool finish(const std::string& text) = 0;

protected:
    virtual void runOnWorker(const std::function<void(const archive::ProgressFn&)>& work) = 0;
    // Blocks the worker until action has run on the waiting thread.
    virtual void onWaitingThread(const std::function<void()>& action) = 0;
};

} // namespace session
