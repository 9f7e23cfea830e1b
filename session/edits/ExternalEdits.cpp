#include "session/edits/ExternalEdits.h"

#include "archive/commands/ContentHash.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/Paths.h"
#include "session/HostPaths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

namespace session {

ExternalEdits::ExternalEdits(FileWatch& watch, Timers& timers, SavedFn onSaved)
    : m_watch(watch), m_timers(timers), m_onSaved(std::move(onSaved))
{
    m_watch.setListener([this](const std::string& path) { changed(path); });
}

ExternalEdits::~ExternalEdits()
{
    m_watch.setListener(nullptr);
}

void ExternalEdits::watch(const std::string& path, const archive::ArchiveReader& reader,
                          std::uint32_t position)
{
    m_strLastOpened = path;
    Copy& copy = m_copies[path];
    copy.entryName = std::string(reader.record(position).name);
    copy.archivePath = reader.path();
    copy.digest = digestOf(path);
    copy.settle = m_timers.makeTimer(kSettleMs, [this, path] { settled(path); });
    m_watch.add(path);
    m_watch.add(archive::paths::parent(path));
}

void ExternalEdits::forget(const std::string& path)
{
    const auto found = m_copies.find(path);
    if (found == m_copies.end())
        return;
    // Each copy has a folder of its own.
    m_watch.remove(path);
    m_watch.remove(archive::paths::parent(path));
    m_copies.erase(found);
}

void ExternalEdits::tookIn(const std::string& path, const archive::ArchiveReader& reader)
{
    const auto found = m_copies.find(path);
    if (found == m_copies.end())
        return;
    for (std::size_t i = 0; i < reader.size(); ++i) {
        const archive::RecordView record = reader.at(i);
        if (record.name != found->second.entryName)
            continue;
        archive::ContentHash hash;
        std::vector<unsigned char> slice;
        for (std::uint64_t done = 0; done < record.dataSize;) {
            slice.resize(std::size_t(std::min<std::uint64_t>(record.dataSize - done, 1 << 20)));
            reader.readAt(slice.data(), slice.size(), record.dataOffset + done);
            hash.add(slice);
            done += slice.size();
        }
        found->second.digest = std::pair(record.dataSize, hash.value());
        return;
    }
}

void ExternalEdits::clear()
{
    for (const auto& [path, copy] : m_copies) {
        m_watch.remove(path);
        m_watch.remove(archive::paths::parent(path));
    }
    m_copies.clear();
}

void ExternalEdits::changed(const std::string& path)
{
    // A save by rename replaces the watched file, which the watch may then forget; the folder
    // still tells of it.
    for (auto& [copyPath, copy] : m_copies)
        if (copyPath == path || archive::paths::parent(copyPath) == path)
            copy.settle->start();
}

void ExternalEdits::settled(const std::string& path)
{
    const auto found = m_copies.find(path);
    // Between the editor's steps the copy may be missing; the step that brings it back reports.
    if (found == m_copies.end() || !hostpaths::isFile(path))
        return;
    if (!m_watch.watches(path))
        m_watch.add(path);
    const Digest digest = digestOf(path);
    if (!digest || digest == found->second.digest)
        return;
    // Counted as reported before the question: a save made while it is open is compared with
    // these bytes, or with those the answer put in (tookIn), and asked about only if new.
    const Digest before = std::exchange(found->second.digest, digest);
    if (!m_onSaved({path, found->second.entryName, found->second.archivePath})) {
        // The copy may have been forgotten while the save was offered.
        const auto still = m_copies.find(path);
        if (still == m_copies.end())
            return;
        still->second.digest = before;
        still->second.settle->start();
    }
}

ExternalEdits::Digest ExternalEdits::digestOf(const std::string& path)
{
    std::ifstream file(std::filesystem::path(std::u8string(path.begin(), path.end())),
                       std::ios::binary);
    if (!file)
        return std::nullopt;
    archive::ContentHash hash;
    std::vector<unsigned char> slice(1 << 20);
    std::uint64_t size = 0;
    while (file) {
        file.read(reinterpret_cast<char*>(slice.data()), std::streamsize(slice.size()));
        const auto got = static_cast<std::size_t>(file.gcount());
        hash.add(std::span(slice).first(got));
        size += got;
    }
    if (file.bad())
        return std::nullopt;
    return std::pair(size, hash.value());
}

} // namespace session
