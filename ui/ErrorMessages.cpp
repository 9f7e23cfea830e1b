#include "ui/ErrorMessages.h"

#include "archive/ArchiveError.h"
#include "res/Messages.h"

QString systemReasonText(int errorNumber, const std::string& englishReason)
{
    for (const res::SystemReason& reason : res::kSystemReasons)
        if (reason.errorNumber == errorNumber)
            return QString::fromUtf8(reason.text);
    return QString::fromStdString(englishReason);
}

namespace {

// The kinds whose text names only what failed: any other kind's text is the reason itself.
bool saysOnlyWhatFailed(archive::ErrorKind kind)
{
    using archive::ErrorKind;
    return kind == ErrorKind::unspecified || kind == ErrorKind::cannotOpen ||
           kind == ErrorKind::cannotRead || kind == ErrorKind::cannotWrite ||
           kind == ErrorKind::cannotCreateFolder;
}

} // namespace

QString errorMessage(const archive::ArchiveError& error)
{
    QString text = QString::fromUtf8(res::errorKindText(error.kind()));
    if (error.subject().empty())
        text.remove(QStringLiteral("：%1"));
    else
        text = text.arg(QString::fromStdString(error.subject()));
    const auto* format = dynamic_cast<const archive::FormatError*>(&error);
    if (format && res::formatCauseText(format->cause())) {
        QString cause = QString::fromUtf8(res::formatCauseText(format->cause()));
        for (const std::uint64_t figure : format->figures())
            cause = cause.arg(figure);
        text += QLatin1Char('\n') + cause;
    } else if (error.systemError() != 0)
        text += QLatin1Char('\n') + systemReasonText(error.systemError(), error.reason());
    else if (saysOnlyWhatFailed(error.kind()) && !error.reason().empty())
        // Nothing else tells why; the user would be left guessing.
        text += QLatin1Char('\n') + QString::fromStdString(error.reason());
    return text;
}
