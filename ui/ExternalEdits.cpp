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

#include <algorithm>
#include <utility>

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

void ExternalEdits::open(const archive::ArchiveReader& reader, std::uint32_t position,
                         std::function<void()> onNoProgram)
{
    const QString path = m_folders.extractFile(reader, position);
    m_strLastOpened = path;
    Copy& copy = m_copies[path];
    copy.entryName = std::string(reader.record(position).name);
    copy.archivePath = reader.path();
    copy.digest = digestOf(path);
    copy.settle = std::make_unique<QTimer>();
    copy.settle->setSingleShot(true);
    copy.settle->setInterval(kSettleMs);
    connect(copy.settle.get(), &QTimer::timeout, this, [this, path] { settled(path); });
    m_watcher.addPath(path);
    m_watcher.addPath(QFileInfo(path).absolutePath());
    m_services.openWithDesktop(this, path, [this, path, onNoProgram = std::move(onNoProgram)] {
        forget(path);
        onNoProgram();
    });
}

void ExternalEdits::forget(const QString& path)
{
    const auto found = m_copies.find(path);
    if (found == m_copies.end())
        return;
    // Each copy has a folder of its own.
    m_watcher.removePaths({path, QFileInfo(path).absolutePath()});
    found->second.settle->stop();
    found->second.settle.release()->deleteLater();
    m_copies.erase(found);
}

void ExternalEdits::tookIn(const QString& path, const archive::ArchiveReader& reader)
{
    const auto found = m_copies.find(path);
    if (found == m_copies.end())
        return;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        const archive::RecordView record = reader.at(i);
        if (record.name != found->second.entryName)
            continue;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        QByteArray slice;
        for (std::uint64_t done = 0; done < record.dataSize;) {
            slice.resize(qsizetype(std::min<std::uint64_t>(record.dataSize - done, 1 << 20)));
            reader.readAt(slice.data(), std::size_t(slice.size()), record.dataOffset + done);
            hash.addData(slice);
            done += std::uint64_t(slice.size());
        }
        found->second.digest = hash.result();
        return;
    }
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
    // Counted as reported before the question: a save made while it is open is compared with
    // these bytes, or with those the answer put in (tookIn), and asked about only if new.
    const QByteArray before = std::exchange(found->second.digest, digest);
    if (!m_onSaved({path, found->second.entryName, found->second.archivePath})) {
        found->second.digest = before;
        found->second.settle->start();
    }
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
