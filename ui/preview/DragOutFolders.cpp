#include "ui/preview/DragOutFolders.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Extraction.h"
#include "archive/files/FileSystem.h"
#include "archive/files/Processes.h"
#include "archive/files/SignalCleanup.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/DialogServices.h"
#include "ui/ErrorMessages.h"
#include "ui/QtTranslations.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>

DragOutFolders::DragOutFolders(QWidget* dialog, DialogServices& services)
    : QObject(dialog), m_dialog(dialog), m_services(services)
{
    dialog->installEventFilter(this);
}

DragOutFolders::~DragOutFolders()
{
    removeAll();
}

int DragOutFolders::sweepStale(const QString& parent)
{
    static const QRegularExpression name(
        QStringLiteral("^%1([1-9][0-9]{0,8})-.+$").arg(QLatin1String(kNamePrefix)));
    int removed = 0;
    const QStringList candidates =
        QDir(parent).entryList({QLatin1String(kNamePrefix) + QLatin1Char('*')},
                               QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& candidate : candidates) {
        const QRegularExpressionMatch match = name.match(candidate);
        if (!match.hasMatch() ||
            archive::processes::runsThisProgram(match.captured(1).toLongLong()))
            continue;
        const QString path = parent + QLatin1Char('/') + candidate;
        if (!archive::filesystem::isOwnFolder(QFile::encodeName(path).toStdString()))
            continue;
        if (QDir(path).removeRecursively())
            ++removed;
    }
    return removed;
}

namespace {

std::unique_ptr<QTemporaryDir> makeFolder(const QString& pathTemplate)
{
    auto folder = std::make_unique<QTemporaryDir>(pathTemplate);
    if (!folder->isValid())
        throw archive::FileError(archive::ErrorKind::cannotCreateFolder,
                                 folder->path().toStdString(), folder->errorString().toStdString());
    return folder;
}

} // namespace

QList<QUrl> DragOutFolders::extract(const archive::ArchiveReader& reader,
                                    const std::vector<std::uint32_t>& positions)
{
    if (positions.empty())
        return {};
    try {
        std::unique_ptr<QTemporaryDir> folder = makeEntryFolder();
        archive::extractEntries(reader, positions, folder->path().toStdString());
        QList<QUrl> urls;
        QStringList seen;
        for (const std::uint32_t position : positions) {
            const std::vector<std::string> components =
                archive::names::hostComponents(reader.record(position).name, reader.codePage());
            const QString path =
                folder->path() + QLatin1Char('/') + QString::fromStdString(components.front());
            if (!seen.contains(path)) {
                seen << path;
                urls << QUrl::fromLocalFile(path);
            }
        }
        m_folders.push_back(std::move(folder));
        return urls;
    } catch (const archive::ArchiveError& e) {
        m_services.showMessage(m_dialog, uiText(res::preview::kDragFailed), errorMessage(e),
                               DialogServices::MessageIcon::Error);
        return {};
    }
}

std::string DragOutFolders::extractFile(const archive::ArchiveReader& reader,
                                        std::uint32_t position)
{
    std::unique_ptr<QTemporaryDir> folder = makeEntryFolder();
    const std::uint32_t positions[] = {position};
    archive::extractEntries(reader, positions, folder->path().toStdString());
    QString path = folder->path();
    for (const std::string& component :
         archive::names::hostComponents(reader.record(position).name, position, reader.codePage()))
        path += QLatin1Char('/') + QString::fromStdString(component);
    m_folders.push_back(std::move(folder));
    return QFile::encodeName(path).toStdString();
}

std::unique_ptr<QTemporaryDir> DragOutFolders::makeEntryFolder()
{
    if (!m_runFolder)
        makeRunFolder();
    return makeFolder(m_runFolder->path() + QStringLiteral("/XXXXXX"));
}

void DragOutFolders::makeRunFolder()
{
    const QString parent = QDir::tempPath();
    // A signal removes the run's folder by name inside its parent, held open until then.
    m_tempFolder = archive::CFolder::open(QFile::encodeName(parent).toStdString());
    m_runFolder =
        makeFolder(parent + QLatin1Char('/') + QLatin1String(kNamePrefix) +
                   QString::number(archive::processes::currentId()) + QStringLiteral("-XXXXXX"));
    m_nSignalSlot = archive::SignalCleanup::addTree(
        m_tempFolder, QFile::encodeName(QFileInfo(m_runFolder->path()).fileName()).constData());
}

void DragOutFolders::removeAll()
{
    m_folders.clear();
    archive::SignalCleanup::remove(m_nSignalSlot);
    m_nSignalSlot = -1;
    m_runFolder.reset();
    m_tempFolder = archive::CFolder();
}

bool DragOutFolders::holds(const QString& path) const
{
    if (!m_runFolder)
        return false;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString top = QFileInfo(m_runFolder->path()).canonicalFilePath();
    return !canonical.isEmpty() && !top.isEmpty() &&
           (canonical == top || canonical.startsWith(top + QLatin1Char('/')));
}

bool DragOutFolders::holds(const std::string& path) const
{
    return holds(QFile::decodeName(QByteArray::fromStdString(path)));
}

bool DragOutFolders::eventFilter(QObject* watched, QEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (watched == m_dialog && (event->type() == QEvent::Close ||
                                (event->type() == QEvent::Hide && !event->spontaneous())))
        removeAll();
    return false;
}
