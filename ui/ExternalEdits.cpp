#include "ui/ExternalEdits.h"

#include "archive/ArchiveReader.h"
#include "ui/DialogServices.h"
#include "ui/preview/DragOutFolders.h"

#include <QCryptographicHash>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

ExternalEdits::ExternalEdits(QWidget* dialog, DragOutFolders& folders, DialogServices& services,
                             SavedFn onSaved)
    : QObject(dialog), m_pDialog(dialog), m_folders(folders), m_services(services),
      m_onSaved(std::move(onSaved))
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { changed(path); });
    // A save by rename replaces the watched file, which the watcher then forgets; the folder
    // still tells of it.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString& dir) {
        for (const auto& [path, copy] : m_copies)
            if (QFileInfo(path).absolutePath() == dir)
                changed(path);
    });
    dialog->installEventFilter(this);
}

ExternalEdits::~ExternalEdits() = default;

bool ExternalEdits::open(const archive::ArchiveReader& reader, std::uint32_t position)
{
    const QString path = m_folders.extractFile(reader, position);
    m_strLastOpened = path;
    Copy& copy = m_copies[path];
    copy.entryName = std::string(reader.record(position).name);
    copy.digest = digestOf(path);
    copy.settle = std::make_unique<QTimer>();
    copy.settle->setSingleShot(true);
    copy.settle->setInterval(kSettleMs);
    connect(copy.settle.get(), &QTimer::timeout, this, [this, path] { settled(path); });
    m_watcher.addPath(path);
    m_watcher.addPath(QFileInfo(path).absolutePath());
    if (m_services.openWithDesktop(path))
        return true;
    m_watcher.removePaths({path, QFileInfo(path).absolutePath()});
    m_copies.erase(path);
    return false;
}

void ExternalEdits::clear()
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    // A copy's timer may be the one whose timeout is running us.
    for (auto& [path, copy] : m_copies) {
        copy.settle->stop();
        copy.settle.release()->deleteLater();
    }
    m_copies.clear();
}

void ExternalEdits::changed(const QString& path)
{
    const auto found = m_copies.find(path);
    if (found != m_copies.end())
        found->second.settle->start();
}

void ExternalEdits::settled(const QString& path)
{
    const auto found = m_copies.find(path);
    // Between the editor's steps the copy may be missing; the step that brings it back reports.
    if (found == m_copies.end() || !QFileInfo::exists(path))
        return;
    if (!m_watcher.files().contains(path))
        m_watcher.addPath(path);
    const QByteArray digest = digestOf(path);
    if (digest.isEmpty() || digest == found->second.digest)
        return;
    if (!m_onSaved({path, found->second.entryName})) {
        found->second.settle->start();
        return;
    }
    // The question may have run a change that cleared the copies.
    const auto still = m_copies.find(path);
    if (still != m_copies.end())
        still->second.digest = digest;
}

QByteArray ExternalEdits::digestOf(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

bool ExternalEdits::eventFilter(QObject* watched, QEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (watched == m_pDialog && (event->type() == QEvent::Close ||
                                 (event->type() == QEvent::Hide && !event->spontaneous())))
        clear();
    return false;
}
