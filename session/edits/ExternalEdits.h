#pragma once

#include "session/edits/FileWatch.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace archive {
class ArchiveReader;
}

namespace session {

// Entries opened in another program. Each is a copy in a scratch folder of its own, watched
// until clear(), whatever archive is open meanwhile; a save is reported once the copy has
// settled, and only when its bytes differ both from those last reported and from those last
// put into the archive.
class ExternalEdits {
public:
    struct SavedCopy {
        std::string path;
        std::string entryName;
        std::string archivePath;
    };
    // Returns false when the save cannot be taken now (another change runs): it is offered again
    // a moment later.
    using SavedFn = std::function<bool(const SavedCopy&)>;

    // How long a copy must stay unchanged before a change counts as saved: editors write in
    // steps, or write another file and rename it over the copy.
    static constexpr int kSettleMs = 250;

    ExternalEdits(FileWatch& watch, Timers& timers, SavedFn onSaved);
    ~ExternalEdits();

    // Watches the copy at path of the entry at position in reader.
    void watch(const std::string& path, const archive::ArchiveReader& reader,
               std::uint32_t position);
    void forget(const std::string& path);
    // The copy at path went into reader's archive: its later saves are compared with the bytes
    // the entry holds there, not with those the save was reported with.
    void tookIn(const std::string& path, const archive::ArchiveReader& reader);
    // The copy's path watched last, empty before any.
    const std::string& lastOpened() const { return m_strLastOpened; }
    // Stops watching every copy; the files stay until their folders go.
    void clear();
    int count() const { return static_cast<int>(m_copies.size()); }

private:
    // Length and hash of the bytes; nullopt when they cannot be read.
    using Digest = std::optional<std::pair<std::uint64_t, std::uint64_t>>;
    struct Copy {
        std::string entryName;
        std::string archivePath;
        Digest digest;
        std::unique_ptr<Timer> settle;
    };
    void changed(const std::string& path);
    void settled(const std::string& path);
    static Digest digestOf(const std::string& path);

    FileWatch& m_watch;
    Timers& m_timers;
    SavedFn m_onSaved;
    std::map<std::string, Copy> m_copies;
    std::string m_strLastOpened;
};

} // namespace session
