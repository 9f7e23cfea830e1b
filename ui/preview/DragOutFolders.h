#pragma once

#include "archive/files/CFolder.h"
#include "session/edits/ScratchFolders.h"

#include <QDir>
#include <QList>
#include <QObject>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <vector>

class DialogServices;
class QTemporaryDir;
class QWidget;

namespace archive {
class ArchiveReader;
}

// The temporary folders entries are extracted into when dragged out of the list or opened in
// another program, a fresh one each time, all removed when the dialog closes: the drop target or
// the program may still be reading until then.
// They lie in one folder of this run, which a signal also removes and a later start sweeps away
// when the run ended without removing it.
class DragOutFolders : public QObject, public session::ScratchFolders {
    Q_OBJECT

public:
    // A run's folder is named this, the process id, a dash and a random part, so that a later
    // run can tell whose it was.
    static constexpr const char* kNamePrefix = "velmora-drag-";

    // Removes the folders in parent that runs ended without removing (a crash, a KILL): this
    // user's, named for a process that is gone or that is now another program. Returns how
    // many went.
    static int sweepStale(const QString& parent = QDir::tempPath());

    // Failures are shown through services over dialog, whose closing removes the folders.
    DragOutFolders(QWidget* dialog, DialogServices& services);
    ~DragOutFolders() override;

    // Extracts the entries whose records start at positions (in list order) into a new folder
    // and returns the top level of each entry once, a folder standing for the entries below it;
    // empty after showing the error when extraction fails.
    QList<QUrl> extract(const archive::ArchiveReader& reader,
                        const std::vector<std::uint32_t>& positions);
    std::string extractFile(const archive::ArchiveReader& reader, std::uint32_t position) override;
    void removeAll();
    // Whether path is one of the folders or lies inside one, however it is spelled.
    bool holds(const QString& path) const;
    bool holds(const std::string& path) const override;
    int count() const { return static_cast<int>(m_folders.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Throws FileError when the folder cannot be made.
    void makeRunFolder();
    // A new folder inside the run's; the same.
    std::unique_ptr<QTemporaryDir> makeEntryFolder();

    QWidget* m_dialog;
    DialogServices& m_services;
    // Named for this process, made at the first drag; each drag's folder lies inside it.
    std::unique_ptr<QTemporaryDir> m_runFolder;
    archive::CFolder m_tempFolder;
    int m_nSignalSlot = -1;
    std::vector<std::unique_ptr<QTemporaryDir>> m_folders;
};
