#pragma once

#include "archive/commands/Updating.h"
#include "session/CommandQueue.h"
#include "session/EntryList.h"
#include "session/OpenArchive.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace session {

class Questions;
class SessionWindow;

// One window's session with its archives: the archive open, its entry list, the command queue
// and the folder the next chooser starts in, with the steps several commands share (listing,
// changing and listing again, reporting a failure). It knows the window only as SessionWindow
// and the user only as Questions.
class Session {
public:
    Session(SessionWindow& window, Questions& questions);
    ~Session();

    SessionWindow& window() { return m_window; }
    Questions& questions() { return m_questions; }
    OpenArchive& archive() { return m_archive; }
    // What the listed archive's names are read and new names written in (Big5 with none open).
    const archive::CodePage& codePage() const { return m_archive.reader().codePage(); }
    const OpenArchive& archive() const { return m_archive; }
    // The code page the user chose for the names, none to detect it. It holds for the archive
    // it was chosen on, through changes, undo and reloads; loading another archive detects again,
    // as that one's names may be in any code page.
    std::optional<archive::Encoding> chosenEncoding() const { return m_chosenEncoding; }
    void chooseEncoding(std::optional<archive::Encoding> encoding) { m_chosenEncoding = encoding; }
    EntryList& list() { return m_list; }
    const EntryList& list() const { return m_list; }
    CommandQueue& commands() { return m_commands; }

    // Where every chooser starts next: the folder holding the file the user last chose.
    const std::string& startFolder() const { return m_strStartFolder; }
    void startNextChoiceBeside(const std::string& file);
    void setStartFolder(std::string folder) { m_strStartFolder = std::move(folder); }
    // What the last load was given, for loading it again; empty before any.
    const std::string& lastArchive() const { return m_strLastArchive; }

    // Forgets undo and lists path under all types; on failure nothing stays listed.
    void load(const std::string& path);
    // Opens path into the current reader and lists it, under the type chosen now or under all.
    void listArchive(const std::string& path, bool keepType);
    void closeArchive();
    // Runs first whenever the listed archive is closed: another loaded, a failed listing, the
    // window closing.
    void setBeforeClose(std::function<void()> hook) { m_beforeClose = std::move(hook); }
    void setStatusFromList();
    void clearStatus();

    // The archive is replaced, the replaced one kept for undo, and the new one listed with the
    // changed entries selected. False when nothing was written (cancelled).
    bool applyChanges(const std::vector<archive::ArchiveChange>& changes);
    // The same for an archive not listed now, which is neither listed nor kept for undo.
    bool updateOtherArchive(const archive::ArchiveReader& reader,
                            const std::vector<archive::ArchiveChange>& changes);
    // After the file at path was replaced: the current reader goes to earlier (kept for undo)
    // or is closed, and the file is listed with names selected; an open preview shows the
    // first of them.
    void relist(const std::string& path, bool keepForUndo, const std::vector<std::string>& names);

    void reportError(const std::string& text);
    void tell(const std::string& text);
    // Runs command, showing what it throws as the session's error message.
    void reportFailures(const std::function<void()>& command);

private:
    // The first row selected, -1 for none.
    int selectEntries(const std::vector<std::string>& names);

    SessionWindow& m_window;
    Questions& m_questions;
    OpenArchive m_archive;
    EntryList m_list;
    CommandQueue m_commands;
    std::string m_strStartFolder;
    std::string m_strLastArchive;
    std::optional<archive::Encoding> m_chosenEncoding;
    std::function<void()> m_beforeClose;
};

} // namespace session
