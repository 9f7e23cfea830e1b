#include "ui/FuseFolderMounts.h"

#ifdef VELMORA_MOUNT

#include "mount/ArchiveMount.h"
#include "mount/FuseMount.h"

#include <thread>

namespace {

class FuseFolderMount : public session::FolderMount {
public:
    FuseFolderMount(const std::string& archivePath, const std::string& folder,
                    const mount::MountOptions& options, session::FolderMountEvents events)
        : m_events(std::move(events)), m_engine(archivePath, options, engineEvents()),
          m_view(m_engine, folder)
    {
        m_view.mount();
        m_thread = std::thread([this] { m_bAllIn = m_view.serve(false); });
    }
    ~FuseFolderMount() override { unmount(); }

    bool unmount() override
    {
        if (m_thread.joinable()) {
            m_view.stop();
            m_thread.join();
        }
        return m_bAllIn;
    }

private:
    mount::MountEvents engineEvents()
    {
        mount::MountEvents events;
        events.committed = [this](const archive::UpdateResult&) {
            if (m_events.committed)
                m_events.committed();
        };
        events.failed = [this](const archive::ArchiveError& error) {
            if (m_events.failed)
                m_events.failed(error, m_engine.scratchPath());
        };
        return events;
    }

    session::FolderMountEvents m_events;
    mount::ArchiveMount m_engine;
    mount::FuseMount m_view;
    std::thread m_thread;
    bool m_bAllIn = true; // written by the serving thread, read once it has ended
};

} // namespace

std::unique_ptr<session::FolderMounts> FuseFolderMounts::createIfAvailable()
{
    return std::make_unique<FuseFolderMounts>();
}

std::unique_ptr<session::FolderMount>
FuseFolderMounts::mount(const std::string& archivePath, const std::string& folder,
                        archive::Encoding encoding, bool recover, session::FolderMountEvents events)
{
    mount::MountOptions options;
    options.encoding = encoding;
    options.recover = recover;
    return std::make_unique<FuseFolderMount>(archivePath, folder, options, std::move(events));
}

#else

std::unique_ptr<session::FolderMounts> FuseFolderMounts::createIfAvailable()
{
    return nullptr;
}

std::unique_ptr<session::FolderMount> FuseFolderMounts::mount(const std::string&,
                                                              const std::string&, archive::Encoding,
                                                              bool, session::FolderMountEvents)
{
    return nullptr;
}

#endif
