// Changing one entry of a large archive: replacing a 1 MiB entry in an archive of 10,000 files
// (about 1 GiB) against zip replacing the same file in a stored (-0) zip of the same files and
// against cp of the archive, in the same run, median of 5 each; then deleting one entry of an
// archive of 100,000 small files. The archive is written whole every time, so cp is the floor
// where the file system copies bytes, and shared extents (Btrfs, XFS) are what can beat it.
//
// bench_update [scratch folder, default /dev/shm]

#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"
#include "bench/BenchTree.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using benchtree::kRuns;
using benchtree::median;
using benchtree::seconds;

constexpr std::uint64_t kReplacementBytes = 1024 * 1024;
// The large archive, its zip, the copy and a new archive beside each while it is written.
constexpr std::uint64_t kNeededBytes = 7ull * 1024 * 1024 * 1024;

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

archive::UpdateResult update(const fs::path& archivePath,
                             const std::vector<archive::ArchiveChange>& changes)
{
    archive::ArchiveReader reader;
    reader.Open(archivePath.string());
    return archive::updateArchive(reader, changes);
}

void writeBytes(const fs::path& path, std::uint64_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    std::uint64_t state = seed;
    for (char& c : bytes)
        c = static_cast<char>((state = state * 6364136223846793005ull + 1) >> 56);
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void replaceOne(const fs::path& work)
{
    const fs::path src = work / "src";
    std::printf("generating %d files...\n", benchtree::kFiles);
    const std::uint64_t total = benchtree::generateTree(src, 0x9E3779B97F4A7C15ull);
    std::printf("%.1f MiB in %d files\n", static_cast<double>(total) / (1024 * 1024),
                benchtree::kFiles);
    const fs::path archivePath = work / "GAME00.DAT";
    archive::buildArchive(src.string(), archivePath.string());
    const fs::path zipPath = work / "out.zip";
    run("cd " + quoted(src) + " && zip -0 -q -r " + quoted(zipPath) + " .");

    // The entry replaced, and the file that replaces it, also in the tree zip reads from.
    const std::string relative = "level5/sub0/file5.dat";
    const std::string entryName = "level5\\sub0\\file5.dat";
    const fs::path replacement = work / "replacement.dat";
    writeBytes(replacement, kReplacementBytes, 7);
    fs::copy_file(replacement, src / relative, fs::copy_options::overwrite_existing);
    const std::vector<archive::ArchiveChange> changes = {
        {archive::ArchiveChange::Kind::add, entryName, replacement.string(), {}}};
    const std::string zipCommand =
        "cd " + quoted(src) + " && zip -0 -q " + quoted(zipPath) + " " + quoted(fs::path(relative));
    const std::string cpCommand = "cp " + quoted(archivePath) + " " + quoted(work / "copy.DAT");

    // One untimed run of each warms the caches and gives the archive its final layout.
    update(archivePath, changes);
    run(zipCommand);
    run(cpCommand);
    std::vector<double> ours;
    std::vector<double> zip;
    std::vector<double> cp;
    for (int i = 0; i < kRuns; ++i) {
        // Each starts with nothing of another's left to write back: zip's gigabyte would
        // otherwise be flushed inside the next update's fsync.
        ::sync();
        ours.push_back(seconds([&] { update(archivePath, changes); }));
        ::sync();
        zip.push_back(seconds([&] { run(zipCommand); }));
        ::sync();
        // Onto the copy of the previous run, so cp frees the old bytes as the update does.
        cp.push_back(seconds([&] { run(cpCommand); }));
        std::printf("run %d: ours %.3f s, zip %.3f s, cp %.3f s\n", i + 1, ours.back(), zip.back(),
                    cp.back());
    }
    std::printf("replace 1 MiB of %.1f MiB, median of %d: ours %.3f s, zip %.3f s, cp %.3f s, "
                "ours/cp %.2f, ours/zip %.2f\n",
                static_cast<double>(fs::file_size(archivePath)) / (1024 * 1024), kRuns,
                median(ours), median(zip), median(cp), median(ours) / median(cp),
                median(ours) / median(zip));
    fs::remove_all(src);
    fs::remove(zipPath);
    fs::remove(work / "copy.DAT");
    fs::remove(archivePath);
}

void deleteOne(const fs::path& work)
{
    const fs::path src = work / "small";
    constexpr int kCount = 100000;
    benchtree::generateSmallTree(src, kCount, 100, 0x5DEECE66Dull);
    const fs::path archivePath = work / "SMALL.DAT";
    archive::buildArchive(src.string(), archivePath.string());
    fs::remove_all(src);
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        // small<i> lies in folder<i % 100>.
        const std::string name =
            "folder" + std::to_string(i) + "\\small" + std::to_string(i) + ".dat";
        ::sync();
        times.push_back(seconds([&] {
            update(archivePath, {{archive::ArchiveChange::Kind::remove, name, {}, {}}});
        }));
        std::printf("run %d: delete 1 of %d: %.3f s\n", i + 1, kCount - i, times.back());
    }
    std::printf("delete 1 of %d entries, median of %d: %.3f s\n", kCount, kRuns, median(times));
    fs::remove(archivePath);
}

} // namespace

int main(int argc, char** argv)
{
    const char* scratch = argc > 1 ? argv[1] : "/dev/shm";
    const fs::space_info space = fs::space(scratch);
    if (space.available < kNeededBytes) {
        std::fprintf(stderr,
                     "bench_update: %s has %.1f GiB free, %.1f GiB needed; give another "
                     "scratch folder\n",
                     scratch, static_cast<double>(space.available) / (1 << 30),
                     static_cast<double>(kNeededBytes) / (1 << 30));
        return 1;
    }
    char* args[] = {argv[0], const_cast<char*>(scratch)};
    const fs::path work = benchtree::makeWorkFolder(2, args, "velmora-bench-update");
    if (work.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 0;
    try {
        std::printf("scratch: %s\n", scratch);
        replaceOne(work);
        deleteOne(work);
    } catch (const archive::ArchiveError& e) {
        std::fprintf(stderr, "bench_update: %s: %s\n", e.subject().c_str(), e.reason().c_str());
        status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_update: %s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
