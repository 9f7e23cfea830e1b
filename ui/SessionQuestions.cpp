#include "ui/SessionQuestions.h"

#include "ui/DialogServices.h"
#include "ui/FolderPicker.h"

#include <QFile>

namespace {

QString fromHost(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::optional<std::string> toHost(const std::optional<QString>& path)
{
    if (!path)
        return std::nullopt;
    return QFile::encodeName(*path).toStdString();
}

QString text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

} // namespace

std::optional<std::string> SessionQuestions::openArchivePath(const std::string& startFolder)
{
    return toHost(m_services.openArchivePath(m_pOwner, fromHost(startFolder)));
}

std::optional<std::string> SessionQuestions::saveArchivePath(const std::string& startFolder)
{
    return toHost(m_services.saveArchivePath(m_pOwner, fromHost(startFolder)));
}

std::optional<std::string> SessionQuestions::chooseFolder(const std::string& title,
                                                          const std::string& startFolder)
{
    CFolderPicker picker;
    picker.setServices(&m_services, m_pOwner);
    picker.m_strTitle = text(title);
    picker.m_strStartFolder = fromHost(startFolder);
    if (!picker.Browse())
        return std::nullopt;
    return toHost(picker.m_strPath);
}

std::optional<std::vector<std::string>>
SessionQuestions::chooseFiles(const std::string& title, const std::string& startFolder)
{
    const std::optional<QStringList> files =
        m_services.chooseFiles(m_pOwner, text(title), fromHost(startFolder));
    if (!files)
        return std::nullopt;
    std::vector<std::string> paths;
    for (const QString& file : *files)
        paths.push_back(*toHost(file));
    return paths;
}

std::optional<std::string> SessionQuestions::chooseFile(const std::string& title,
                                                        const std::string& startFolder)
{
    return toHost(m_services.chooseFile(m_pOwner, text(title), fromHost(startFolder)));
}

std::optional<std::string> SessionQuestions::chooseArchiveOrFolder(const std::string& title,
                                                                   const std::string& startFolder)
{
    return toHost(m_services.chooseFileOrFolder(m_pOwner, text(title), fromHost(startFolder)));
}

std::optional<std::string> SessionQuestions::askText(const std::string& caption,
                                                     const std::string& label,
                                                     const std::string& initial)
{
    const std::optional<QString> answer =
        m_services.askText(m_pOwner, text(caption), text(label), text(initial));
    if (!answer)
        return std::nullopt;
    return answer->toStdString();
}

void SessionQuestions::showMessage(const std::string& caption, const std::string& message,
                                   MessageIcon icon)
{
    m_services.showMessage(m_pOwner, text(caption), text(message),
                           icon == MessageIcon::Error ? DialogServices::MessageIcon::Error
                                                      : DialogServices::MessageIcon::None);
}

bool SessionQuestions::askYesNo(const std::string& caption, const std::string& question)
{
    return m_services.askYesNo(m_pOwner, text(caption), text(question));
}

SessionQuestions::FailureAnswer SessionQuestions::askAfterFailure(const std::string& caption,
                                                                  const std::string& question)
{
    switch (m_services.askAfterFailure(m_pOwner, text(caption), text(question))) {
    case DialogServices::FailureAnswer::Skip:
        return FailureAnswer::Skip;
    case DialogServices::FailureAnswer::SkipAll:
        return FailureAnswer::SkipAll;
    case DialogServices::FailureAnswer::Stop:
        break;
    }
    return FailureAnswer::Stop;
}
