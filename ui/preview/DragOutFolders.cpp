#include "ui/preview/DragOutFolders.h"

#include "archive/ArchiveError.h"
#include "archive/EntryList.h"
#include "archive/Extraction.h"
#include "archive/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/DialogServices.h"
#include "ui/ErrorMessages.h"

#include <QEvent>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

DragOutFolders::DragOutFolders(QWidget* dialog, DialogServices& services)
    : QObject(dialog), m_dialog(dialog), m_services(services)
{
    dialog->installEventFilter(this);
}

DragOutFolders::~DragOutFolders() = default;

QList<QUrl> DragOutFolders::extract(const archive::ArchiveReader& reader,
                                    const archive::EntryList& list, const std::vector<int>& rows)
{
    if (rows.empty())
        return {};
    auto folder = std::make_unique<QTemporaryDir>();
    try {
        if (!folder->isValid())
            throw archive::FileError(archive::ErrorKind::cannotCreateFolder,
                                     folder->path().toStdString(),
                                     folder->errorString().toStdString());
        archive::extractEntries(reader, list, rows, folder->path().toStdString());
        QList<QUrl> urls;
        QStringList seen;
        for (int row : rows) {
            const std::vector<std::string> components =
                archive::names::hostComponents(list.GetText(row));
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
        m_services.showMessage(m_dialog, QString::fromUtf8(res::preview::kDragFailed),
                               errorMessage(e), DialogServices::MessageIcon::Error);
        return {};
    }
}

void DragOutFolders::removeAll()
{
    m_folders.clear();
}

bool DragOutFolders::holds(const QString& path) const
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const std::unique_ptr<QTemporaryDir>& folder : m_folders) {
        const QString top = QFileInfo(folder->path()).canonicalFilePath();
        if (!top.isEmpty() && (canonical == top || canonical.startsWith(top + QLatin1Char('/'))))
            return true;
    }
    return false;
}

bool DragOutFolders::eventFilter(QObject* watched, QEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (watched == m_dialog && (event->type() == QEvent::Close ||
                                (event->type() == QEvent::Hide && !event->spontaneous())))
        removeAll();
    return false;
}
