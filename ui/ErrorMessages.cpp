#include "ui/ErrorMessages.h"

#include "session/Wording.h"

QString systemReasonText(int errorNumber, const std::string& englishReason)
{
    return QString::fromStdString(session::wording::systemReasonText(errorNumber, englishReason));
}

QString errorMessage(const archive::ArchiveError& error)
{
    return QString::fromStdString(session::wording::errorMessage(error));
}
