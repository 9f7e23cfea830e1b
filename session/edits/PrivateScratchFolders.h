#pragma once

#include "archive/files/PrivateFolder.h"
#include "session/edits/ScratchFolders.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace session {

// The scratch folders of one run of the dialog: each a fresh folder only this user may open,
// inside one folder named for the run, all removed by removeAll (when the window closes: a drop
// target or another program may read them until then), by a signal, or by a later run's sweep.
class PrivateScratchFolders : public ScratchFolders {
public:
    // A run's folder is named this, the process id, a dash and a random part, so that a later
    // run can tell whose it was.
    static constexpr const char* kNamePrefix = "velmora-drag-";

    // Removes the folders in parent that runs ended without removing: this user's, named for a
    // process that is gone or that is now another program. Returns how many went.
    static int sweepStale(const std::string& parent = archive::PrivateFolder::temporaryFolder());

    std::string makeFolder() override;
    // Extracts the entries whose records start at positions into a new folder and returns the
    // folder; throws what extraction throws.
    std::string extract(const archive::ArchiveReader& reader,
                        std::span<const std::uint32_t> positions);
    // The same for a drag: the top level of each entry's path once, in the order of positions,
    // a folder standing for the entries below it.
    std::vector<std::string> extractTopLevels(const archive::ArchiveReader& reader,
                                              std::span<const std::uint32_t> positions);
    std::string extractFile(const archive::ArchiveReader& reader, std::uint32_t position) override;
    bool holds(const std::string& path) const override;
    void removeAll();
    int count() const { return static_cast<int>(m_folders.size()); }

private:
    archive::PrivateFolder m_run;
    std::vector<std::string> m_folders; // inside m_run, removed with it
};

} // namespace session
