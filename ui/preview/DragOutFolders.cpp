#include "ui/preview/DragOutFolders.h"

#include "archive/ArchiveError.h"
#include "res/PreviewTexts.h"
#include "ui/DialogServices.h"
#include "ui/ErrorMessages.h"
#include "ui/QtTranslations.h"

#include <QEvent>
#include <QFile>
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
    return PrivateScratchFolders::sweepStale(QFile::encodeName(parent).toStdString());
}

QList<QUrl> DragOutFolders::extract(const archive::ArchiveReader& reader,
                                    const std::vector<std::uint32_t>& positions)
{
    if (positions.empty())
        return {};
    try {
        QList<QUrl> urls;
        for (const std::string& path :
             extractTopLevels(reader, {positions.data(), positions.size()}))
            urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
        return urls;
    } catch (const archive::ArchiveError& e) {
        m_services.showMessage(m_dialog, uiText(res::preview::kDragFailed), errorMessage(e),
                               DialogServices::MessageIcon::Error);
        return {};
    }
}

bool DragOutFolders::holds(const QString& path) const
{
    return holds(QFile::encodeName(path).toStdString());
}

bool DragOutFolders::eventFilter(QObject* watched, QEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (watched == m_dialog && (event->type() == QEvent::Close ||
                                (event->type() == QEvent::Hide && !event->spontaneous())))
        removeAll();
    return false;
}
