// The whole path a user runs, over arbitrary bytes as an archive: check it, list it, extract
// every entry into a fresh folder. Nothing may appear outside that folder, and check's verdict
// must agree with what extraction could do.

#include "archive/ArchiveError.h"
#include "archive/commands/ArchiveCheck.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Extraction.h"
#include "archive/commands/Listing.h"
#include "archive/format/ArchiveReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDestination = "a/b/c/d/e/f/g/h/dest";

// The destination lies some levels down, so a name that climbed out of it would land inside
// the scratch folder, where the walk below sees it.
const fs::path& scratch()
{
    static const fs::path root = [] {
        // In memory where there is room for it: a disk's journal would set the pace.
        for (const char* folder : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(folder) + "/velmora-fuzz-extract-XXXXXX";
            if (mkdtemp(pattern.data()))
                return fs::path(pattern);
        }
        std::abort();
    }();
    return root;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_extract: %s\n", what.c_str());
    std::abort();
}

bool onlyCodePageErrors(const archive::CheckReport& report)
{
    for (const archive::CheckProblem& problem : report.problems) {
        if (problem.severity == archive::CheckProblem::Severity::Error &&
            problem.reason.rfind("name is not valid code page 950", 0) != 0)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path root = scratch();
    const fs::path archivePath = root / "GAME00.DAT";
    const fs::path dest = root / kDestination;
    std::error_code ignored;
    fs::remove_all(root / "a", ignored);
    fs::create_directories(dest);
    {
        std::ofstream out(archivePath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            fail("cannot write the archive");
    }

    // Check reads from memory; only extraction needs the file.
    archive::CheckReport report;
    try {
        archive::ArchiveReader image;
        try {
            image.OpenMemory(std::span<const unsigned char>(data, size), archivePath.string());
            report = archive::checkArchive(image);
        } catch (const archive::FormatError&) {
            report = archive::checkArchive(archivePath);
        }
    } catch (const archive::ArchiveError& error) {
        fail(std::string("check threw: ") + error.what());
    }

    bool isExtracted = false;
    std::string failure;
    try {
        archive::ArchiveReader reader;
        reader.Open(archivePath);
        const archive::Catalogue list(reader);
        const std::vector<std::uint32_t> all = list.positions(list.filter("*"));
        const int count = static_cast<int>(all.size());
        const archive::ExtractResult result = archive::extractEntries(reader, all, dest);
        if (result.entriesWritten != count)
            fail("extraction wrote " + std::to_string(result.entriesWritten) + " of " +
                 std::to_string(count));
        isExtracted = true;
    } catch (const archive::ArchiveError& error) {
        failure = error.what();
    }

    // A clean check promises a clean extraction; a refused one must have had its reason.
    if (report.errors == 0 && report.warnings == 0 && !isExtracted)
        fail("check found nothing, extraction failed: " + failure);
    if (isExtracted && !onlyCodePageErrors(report))
        fail("extraction succeeded where check reported an error");

    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path rel = it->path().lexically_relative(root);
        const std::string text = rel.string();
        const bool isAbove = std::string(kDestination).append("/").rfind(text + "/", 0) == 0;
        const bool isInside = text.rfind(std::string(kDestination).append("/"), 0) == 0;
        if (text != "GAME00.DAT" && !isAbove && !isInside)
            fail("written outside the destination: " + text);
        if (isAbove && !it->is_directory(ignored))
            fail("a folder above the destination was replaced: " + text);
    }
    return 0;
}
