#include "session/edits/MountedArchive.h"

#include "archive/ArchiveError.h"
#include "res/EditTexts.h"
#include "res/Resource.h"
#include "session/Questions.h"
#include "session/Session.h"
#include "session/SessionWindow.h"
#include "session/Wording.h"
#include "session/edits/ScratchFolders.h"

namespace session {

MountedArchive::MountedArchive(Session& session, ScratchFolders& scratch, FolderMounts& mounts)
    : m_session(session), m_scratch(scratch), m_mounts(mounts)
{
    m_session.setBeforeClose([this] { close(); });
}

MountedArchive::~MountedArchive()
{
    m_session.setBeforeClose({});
    close();
}

void MountedArchive::open()
{
    if (!m_session.archive().isOpen())
        return;
    const std::string archivePath = m_session.archive().reader().path();
    if (m_pMount && m_strArchive != archivePath)
        close();
    if (!m_pMount)
        m_session.reportFailures([&] { mount(archivePath); });
    if (!m_pMount)
        return;
    m_session.window().openInOtherProgram(m_strFolder, [this, folder = m_strFolder] {
        m_session.reportError(wording::fill(wording::tr(res::edit::kCannotOpenFolder),
                                            {wording::nativePath(folder)}));
    });
}

void MountedArchive::mount(const std::string& archivePath)
{
    const std::string folder = m_scratch.makeFolder();
    auto current = std::make_shared<bool>(true);
    SessionWindow& window = m_session.window();
    Session& session = m_session;
    FolderMountEvents events;
    // From the thread serving the folder: only post() is called there.
    events.committed = [this, &window, &session, current] {
        window.post([this, &session, current] {
            if (*current)
                session.commands().later([this, current] {
                    if (*current)
                        relist();
                });
        });
    };
    // Told even after the unmount: the user must learn where the changes were kept.
    events.failed = [&window, &session, archivePath](const archive::ArchiveError& error,
                                                     const std::string& scratchPath) {
        const std::string text =
            wording::fill(wording::tr(res::edit::kFolderChangesKept),
                          {wording::nativePath(archivePath), wording::errorMessage(error),
                           wording::nativePath(scratchPath)});
        window.post([&session, text] { session.reportError(text); });
    };
    const archive::Encoding encoding = m_session.codePage().encoding();
    try {
        m_pMount = m_mounts.mount(archivePath, folder, encoding, false, events);
    } catch (const archive::FileError& error) {
        if (error.kind() != archive::ErrorKind::changedMeanwhile ||
            !m_session.questions().askYesNo(
                wording::tr(res::kDisplayName),
                wording::fill(
                    wording::tr(res::edit::kRecoverFolderChanges),
                    {wording::nativePath(archivePath), wording::nativePath(error.subject())})))
            throw;
        m_pMount = m_mounts.mount(archivePath, folder, encoding, true, events);
    }
    m_strArchive = archivePath;
    m_strFolder = folder;
    m_pCurrent = std::move(current);
}

void MountedArchive::relist()
{
    if (!m_session.archive().isSame(m_strArchive))
        return;
    // The archive was replaced outside the session: an undo would put back a file the folder's
    // changes went over.
    m_session.archive().forgetUndo();
    m_session.relist(m_strArchive, false, {});
}

void MountedArchive::close()
{
    if (!m_pMount)
        return;
    *m_pCurrent = false;
    m_pMount->unmount();
    m_pMount.reset();
    m_strArchive.clear();
    m_strFolder.clear();
}

} // namespace session
