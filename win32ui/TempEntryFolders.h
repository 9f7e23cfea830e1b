#pragma once

#include "session/edits/ScratchFolders.h"

#include <filesystem>
#include <vector>

// The temporary folders entries are extracted into to be opened in another program, a fresh one
// each time under the system's temporary folder, all removed when the dialog goes: the program
// may still be reading until then.
class TempEntryFolders : public session::ScratchFolders {
public:
    TempEntryFolders() = default;
    TempEntryFolders(const TempEntryFolders&) = delete;
    TempEntryFolders& operator=(const TempEntryFolders&) = delete;
    ~TempEntryFolders() override { removeAll(); }

    std::string extractFile(const archive::ArchiveReader& reader, std::uint32_t position) override;
    bool holds(const std::string& path) const override;
    void removeAll();

private:
    std::vector<std::filesystem::path> m_folders;
};
