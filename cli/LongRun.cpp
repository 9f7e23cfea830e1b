#include "cli/LongRun.h"

#include "archive/files/SignalCleanup.h"
#include "cli/Console.h"

namespace cli {

LongRun::LongRun(Console& console, std::string verb, const char* notice)
    : m_console(console), m_strVerb(std::move(verb))
{
    archive::SignalCleanup::stopOnInterrupt(notice);
}

archive::ProgressFn LongRun::progress()
{
    return [this](const archive::Progress& progress) {
        m_console.showProgress(m_strVerb, progress);
        return !archive::SignalCleanup::isStopAsked();
    };
}

bool LongRun::end(bool cancelled)
{
    const bool isStopped = cancelled || archive::SignalCleanup::isStopAsked();
    m_console.endProgress(!isStopped);
    return isStopped;
}

int LongRun::interrupted(std::string_view subject, std::string_view outcome)
{
    m_console.error(subject, "interrupted" + std::string(outcome));
    m_console.flush();
    return 128 + archive::SignalCleanup::stopSignal();
}

int LongRun::exitStatus(int status)
{
    const int signalNumber = archive::SignalCleanup::stopSignal();
    if (signalNumber == 0)
        return status;
    archive::SignalCleanup::endBySignal(signalNumber);
    return 128 + signalNumber;
}

} // namespace cli
