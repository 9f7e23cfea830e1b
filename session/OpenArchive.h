#pragma once

#include "archive/files/FileSystem.h"
#include "archive/format/ArchiveReader.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace session {

// The archive listed now and what undo keeps of the one before the last change: that reader,
// open without a name, the entries to select once it is back, and the file the change wrote,
// which only an undo may replace. One change runs at a time: isChanging() while one runs or its
// question waits.
class OpenArchive {
public:
    OpenArchive();
    ~OpenArchive();

    // Never null; the list's catalogue and the preview read from it.
    archive::ArchiveReader& reader() { return *m_pReader; }
    const archive::ArchiveReader& reader() const { return *m_pReader; }
    bool isOpen() const { return m_bOpen; }
    // Opens path into the current reader, its names read in forced or in the code page they show.
    void open(const std::string& path, std::optional<archive::Encoding> forced = std::nullopt);
    void close();
    // Whether path reaches the archive open now, however it is spelled.
    bool isSame(const std::string& path) const;

    // The current reader becomes the earlier one, kept for undo; a new one takes its place.
    void keepForUndo();
    bool canUndo() const { return m_pEarlier != nullptr; }
    archive::ArchiveReader* earlier() { return m_pEarlier.get(); }
    void setUndo(std::vector<std::string> names, const archive::filesystem::FileStamp& written);
    // Setting these apart after a change that wrote nothing the undo could put back over.
    void setUndoNames(std::vector<std::string> names) { m_undoNames = std::move(names); }
    const archive::filesystem::FileStamp& undoWritten() const { return m_undoWritten; }
    // The names to select after an undo; undo is forgotten with them.
    std::vector<std::string> takeUndo();
    // The replaced archive's space goes back to the disk now.
    void forgetUndo();

    bool isChanging() const { return m_bChanging; }
    // Marks a change under way for its lifetime.
    class ChangeGuard {
    public:
        explicit ChangeGuard(OpenArchive& archive)
            : m_archive(archive), m_bWasChanging(std::exchange(archive.m_bChanging, true))
        {
        }
        ~ChangeGuard() { m_archive.m_bChanging = m_bWasChanging; }
        ChangeGuard(const ChangeGuard&) = delete;
        ChangeGuard& operator=(const ChangeGuard&) = delete;

    private:
        OpenArchive& m_archive;
        bool m_bWasChanging;
    };

private:
    std::unique_ptr<archive::ArchiveReader> m_pReader;
    bool m_bOpen = false;
    std::unique_ptr<archive::ArchiveReader> m_pEarlier;
    std::vector<std::string> m_undoNames;
    archive::filesystem::FileStamp m_undoWritten;
    bool m_bChanging = false;
};

} // namespace session
