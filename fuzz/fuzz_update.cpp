// Arbitrary bytes as an archive, changed by a list of changes its last bytes choose: whatever
// happens, the archive file is as it was unless the update said it succeeded, nothing else is
// left in its folder, and an archive the update wrote passes check in the code page it was read
// in (a change may remove the only names that told detection which one that was).

#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveCheck.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path& scratch()
{
    static const fs::path root = [] {
        for (const char* folder : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(folder) + "/velmora-fuzz-update-XXXXXX";
            if (mkdtemp(pattern.data())) {
                const fs::path made(pattern);
                fs::create_directories(made / "host");
                std::ofstream(made / "host/empty", std::ios::binary);
                std::ofstream(made / "host/one", std::ios::binary) << "1";
                std::ofstream(made / "host/large", std::ios::binary) << std::string(5000, 'L');
                return made;
            }
        }
        std::abort();
    }();
    return root;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_update: %s\n", what.c_str());
    std::abort();
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names that are new, that clash with a folder level, that cannot be stored, or that leave the
// folder.
const char* const kNames[] = {"new.dat",    "sub\\new.bmp", "a", "a\\b.dat", "x/y.dat",
                              "..\\up.dat", "\xB3\x5C.dat", ""};
const char* const kHosts[] = {"host/empty", "host/one", "host/large", "host/missing"};

std::string nameFor(const archive::ArchiveReader& reader, unsigned selector)
{
    const std::size_t choices = reader.size() + std::size(kNames);
    const std::size_t pick = selector % choices;
    if (pick < reader.size())
        return std::string(reader.at(pick).name);
    return kNames[pick - reader.size()];
}

// Up to the last eight bytes pick the changes; they stay part of the archive too, where bytes
// after the data change nothing.
std::vector<archive::ArchiveChange> changesFrom(const archive::ArchiveReader& reader,
                                                const std::uint8_t* data, std::size_t size)
{
    std::vector<archive::ArchiveChange> changes;
    if (size == 0)
        return changes;
    const std::size_t scriptBytes = size < 8 ? size : 8;
    const std::uint8_t* script = data + size - scriptBytes;
    const std::size_t count = 1 + script[0] % (scriptBytes);
    for (std::size_t i = 1; i < count && i < scriptBytes; ++i) {
        const unsigned byte = script[i];
        archive::ArchiveChange change;
        change.kind = static_cast<archive::ArchiveChange::Kind>(byte % 3);
        change.name = nameFor(reader, byte / 3);
        change.hostPath = (scratch() / kHosts[(byte >> 4) % std::size(kHosts)]).string();
        change.newName = nameFor(reader, byte >> 2);
        changes.push_back(change);
    }
    return changes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path root = scratch();
    const fs::path archivePath = root / "GAME00.DAT";
    const std::string before(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(archivePath, std::ios::binary | std::ios::trunc);
        out.write(before.data(), static_cast<std::streamsize>(size));
        if (!out)
            fail("cannot write the archive");
    }

    bool isUpdated = false;
    std::string failure;
    std::optional<archive::Encoding> encoding;
    {
        archive::ArchiveReader reader;
        try {
            reader.Open(archivePath.string());
        } catch (const archive::ArchiveError&) {
            return 0;
        }
        encoding = reader.codePage().encoding();
        archive::UpdateOptions options;
        options.keepExisting = (size % 5) == 0;
        try {
            const archive::UpdateResult result =
                archive::updateArchive(reader, changesFrom(reader, data, size), {}, options);
            isUpdated = !result.cancelled;
        } catch (const archive::ArchiveError& error) {
            failure = error.what();
        }
    }

    if (!isUpdated && readAll(archivePath) != before)
        fail("a failed update changed the archive: " + failure);
    if (isUpdated) {
        const archive::CheckReport report = archive::checkArchive(archivePath.string(), encoding);
        if (report.errors != 0)
            fail("an updated archive fails check: " + report.problems.front().reason);
    }
    for (const auto& entry : fs::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (name != "GAME00.DAT" && name != "host")
            fail("left behind: " + name);
    }
    return 0;
}
