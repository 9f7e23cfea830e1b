#include "ui/preview/DragOutFolders.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/Extraction.h"
#include "archive/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/DialogServices.h"
#include "ui/ErrorMessages.h"

#include <QEvent>
#include <QTemporaryDir>
#include <QWidget>

DragOutFolders::DragOutFolders(QWidget* dialog, DialogServices& services)
    : QObject(dialog), m_dialog(dialog), m_services(services)
{
    dialog->installEventFilter(this);
}

DragOutFolders::~DragOutFolders() = default;

QList<QUrl> DragOutFolders::extract(const archive::ArchiveReader& reader,
                                    const std::vector<std::uint32_t>& positions)
{
    if (positions.empty())
        return {};
    auto folder = std::make_unique<QTemporaryDir>();
    try {
        if (!folder->isValid())
            throw archive::FileError(archive::ErrorKind::cannotCreateFolder,
                                     folder->path().toStdString(),
                                     folder->errorString().toStdString());
        archive::extractEntries(reader, positions, folder->path().toStdString());
        QList<QUrl> urls;
        QStringList seen;
        for (const std::uint32_t position : positions) {
            const std::vector<std::string> components =
                archive::names::hostComponents(reader.record(position).name);
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

bool DragOutFolders::eventFilter(QObject* watched, QEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (watched == m_dialog && (event->type() == QEvent::Close ||
                                (event->type() == QEvent::Hide && !event->spontaneous())))
        removeAll();
    return false;
}
