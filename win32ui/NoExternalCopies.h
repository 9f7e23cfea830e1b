#pragma once

#include "session/edits/FileWatch.h"
#include "session/edits/ScratchFolders.h"

// What the Windows dialog gives the session for copies of entries opened in other programs,
// which it does not offer yet: no scratch folder holds a dropped path, and nothing is watched.
class NoExternalCopies : public session::ScratchFolders,
                         public session::FileWatch,
                         public session::Timers {
public:
    std::string extractFile(const archive::ArchiveReader& reader, std::uint32_t position) override;
    bool holds(const std::string&) const override { return false; }

    void setListener(std::function<void(const std::string&)>) override {}
    void add(const std::string&) override {}
    void remove(const std::string&) override {}
    bool watches(const std::string&) const override { return false; }

    std::unique_ptr<session::Timer> makeTimer(int, std::function<void()>) override
    {
        return nullptr;
    }
};
