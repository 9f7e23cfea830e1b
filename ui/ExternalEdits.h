#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class DialogServices;
class DragOutFolders;
class QTimer;
class QWidget;

namespace archive {
class ArchiveReader;
}

// Entries opened in the desktop's program for their type. Each is a copy in a folder of the
// drag-out folders, watched until the dialog closes, whatever archive is open meanwhile; a save
// is reported once the copy has settled and only when its bytes differ both from those last
// reported and from those last put into the archive.
class ExternalEdits : public QObject {
    Q_OBJECT

public:
    // A copy whose bytes changed: where it is, the entry it was extracted from and the path of
    // that entry's archive.
    struct SavedCopy {
        QString path;
        std::string entryName;
        std::string archivePath;
    };
    // Returns false when the save cannot be taken now (another change runs): it is offered again
    // a moment later.
    using SavedFn = std::function<bool(const SavedCopy&)>;

    // How long a copy must stay unchanged before a change counts as saved: editors write in
    // steps, or write another file and rename it over the copy.
    static constexpr int kSettleMs = 250;

    ExternalEdits(QWidget* dialog, DragOutFolders& folders, DialogServices& services,
                  SavedFn onSaved);
    ~ExternalEdits() override;

    // Extracts the entry at position and hands the copy to the desktop. Throws what extraction
    // throws. When the desktop has no program for it, which may be known only later, the copy is
    // no longer watched and onNoProgram runs.
    void open(const archive::ArchiveReader& reader, std::uint32_t position,
              std::function<void()> onNoProgram);
    // The copy at path went into reader's archive: its later saves are compared with the bytes
    // the entry holds there, not with those the save was reported with.
    void tookIn(const QString& path, const archive::ArchiveReader& reader);
    // The copy's path handed to the desktop last, empty before any.
    const QString& lastOpened() const { return m_strLastOpened; }
    // Stops watching every copy; the files stay until the folders go.
    void clear();
    int count() const { return static_cast<int>(m_copies.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Copy {
        std::string entryName;
        std::string archivePath;
        QByteArray digest;
        std::unique_ptr<QTimer> settle;
    };
    void changed(const QString& path);
    void forget(const QString& path);
    void settled(const QString& path);
    static QByteArray digestOf(const QString& path);

    QWidget* m_pDialog;
    DragOutFolders& m_folders;
    DialogServices& m_services;
    SavedFn m_onSaved;
    QFileSystemWatcher m_watcher;
    std::map<QString, Copy> m_copies;
    QString m_strLastOpened;
};
