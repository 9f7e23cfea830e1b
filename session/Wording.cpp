#include "session/Wording.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Building.h"
#include "archive/commands/Extraction.h"
#include "archive/commands/Updating.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage.h"
#include "archive/format/NameMapping.h"
#include "archive/format/Paths.h"
#include "res/CompareTexts.h"
#include "res/EditTexts.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "session/ComparisonMarks.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace session::wording {

namespace {

Translation& translation()
{
    static Translation installed;
    return installed;
}

} // namespace

void setTranslation(Translation translate)
{
    translation() = std::move(translate);
}

std::string tr(const char* source)
{
    return translation() ? translation()(source) : std::string(source);
}

std::string fill(std::string_view text, std::initializer_list<std::string_view> args)
{
    std::string filled;
    filled.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t n = i + 1 < text.size() ? std::size_t(text[i + 1] - '0') : 0;
        if (text[i] == '%' && n >= 1 && n <= args.size()) {
            filled += *(args.begin() + (n - 1));
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

std::string fill(std::string_view text, std::initializer_list<std::int64_t> numbers)
{
    std::vector<std::string> texts;
    for (const std::int64_t number : numbers)
        texts.push_back(std::to_string(number));
    texts.resize(5);
    return fill(text, {texts[0], texts[1], texts[2], texts[3], texts[4]});
}

std::string nativePath(std::string_view path)
{
    std::string native(path);
#ifdef _WIN32
    std::replace(native.begin(), native.end(), '/', '\\');
#endif
    return native;
}

std::string shownName(std::string_view entryName, const archive::CodePage& cp)
{
    return archive::names::displayName(entryName, cp);
}

std::string systemReasonText(int errorNumber, const std::string& englishReason)
{
    for (const res::SystemReason& reason : res::kSystemReasons)
        if (reason.errorNumber == errorNumber)
            return tr(reason.text);
    return englishReason;
}

namespace {

// The kinds whose text names only what failed: any other kind's text is the reason itself.
bool saysOnlyWhatFailed(archive::ErrorKind kind)
{
    using archive::ErrorKind;
    return kind == ErrorKind::unspecified || kind == ErrorKind::cannotOpen ||
           kind == ErrorKind::cannotRead || kind == ErrorKind::cannotWrite ||
           kind == ErrorKind::cannotCreateFolder;
}

// The kind's text up to the subject, whatever separates them in the language shown.
std::string withoutSubject(std::string text)
{
    if (const std::size_t at = text.find("%1"); at != std::string::npos) {
        text.erase(at);
        for (const std::string_view separator : {"：", ": ", ":"})
            if (text.ends_with(separator))
                text.erase(text.size() - separator.size());
    }
    return text;
}

} // namespace

std::string errorMessage(const archive::ArchiveError& error)
{
    const std::string kindText = tr(res::errorKindText(error.kind()));
    std::string text =
        error.subject().empty() ? withoutSubject(kindText) : fill(kindText, {error.subject()});
    const auto* format = dynamic_cast<const archive::FormatError*>(&error);
    if (format && res::formatCauseText(format->cause())) {
        std::string cause = tr(res::formatCauseText(format->cause()));
        // Each figure fills the lowest %n left, as the figures are listed in order.
        int n = 1;
        for (const std::uint64_t figure : format->figures()) {
            const std::string mark = "%" + std::to_string(n++);
            if (const std::size_t at = cause.find(mark); at != std::string::npos)
                cause.replace(at, mark.size(), std::to_string(figure));
        }
        text += '\n' + cause;
    } else if (error.systemError() != 0) {
        text += '\n' + systemReasonText(error.systemError(), error.reason());
    } else if (saysOnlyWhatFailed(error.kind()) && !error.reason().empty()) {
        // Nothing else tells why; the user would be left guessing.
        text += '\n' + error.reason();
    }
    return text;
}

std::string unexpectedError(const char* what)
{
    return tr(res::kUnexpectedError) + '\n' + what;
}

std::string statusLine(std::string_view archivePath, int count, const archive::CodePage& cp,
                       bool isDetected)
{
    const char* name = res::kEncodings[static_cast<std::size_t>(cp.encoding())].name;
    return fill(tr(res::kStatusLine),
                {archive::paths::fileName(archivePath), std::to_string(count)}) +
           fill(isDetected ? tr(res::kStatusEncodingDetected) : tr(res::kStatusEncodingChosen),
                {name});
}

std::string statusLine(std::string_view archivePath, int count, const archive::CodePage& cp,
                       bool isDetected, const ComparisonMarks& marks)
{
    return statusLine(archivePath, count, cp, isDetected) +
           fill(tr(res::compare::kStatus),
                {archive::paths::fileName(marks.otherPath()), comparisonCounts(marks)});
}

std::string comparisonCounts(const ComparisonMarks& marks)
{
    const ComparisonMarks::Counts& counts = marks.counts();
    return fill(tr(res::compare::kCounts),
                {static_cast<std::int64_t>(counts.added), static_cast<std::int64_t>(counts.changed),
                 static_cast<std::int64_t>(counts.renamed),
                 static_cast<std::int64_t>(counts.unchanged),
                 static_cast<std::int64_t>(counts.deleted)});
}

std::string failureQuestion(const archive::ArchiveReader& archive,
                            const archive::ArchiveError& failure,
                            std::span<const std::uint32_t> before, std::uint32_t failed)
{
    const std::string_view name = archive.record(failed).name;
    std::string text = fill(tr(res::kEntryFailed), {shownName(name, archive.codePage())}) + '\n' +
                       errorMessage(failure);
    if (failure.kind() == archive::ErrorKind::sameFileAsEarlierEntry) {
        try {
            const std::string path = archive::names::hostRelativePath(name, archive.codePage());
            const auto isSameFile = [&](std::uint32_t position) {
                const std::string other = archive::names::hostRelativePath(
                    archive.record(position).name, archive.codePage());
                return std::ranges::equal(other, path, [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                });
            };
            const auto earlier = std::ranges::find_if(before, isSameFile);
            if (earlier != before.end())
                text += '\n' + fill(tr(res::kSameFileAsEntry),
                                    {shownName(archive.record(*earlier).name, archive.codePage())});
        } catch (const archive::NameError&) {
        }
    }
    return text + "\n\n" + tr(res::kSkipFailedEntry);
}

std::string extractionResult(const archive::ExtractResult& result, std::string_view folder,
                             bool& isShort)
{
    isShort = result.entriesSkipped == 0 && !result.stopped;
    const char* text = result.stopped ? res::kExtractStopped
                       : result.cancelled
                           ? (isShort ? res::kExtractCancelled : res::kExtractCancelledSkipped)
                       : isShort ? res::kExtractDone
                                 : res::kExtractDoneSkipped;
    return fill(tr(text), {std::to_string(result.entriesWritten), nativePath(folder),
                           std::to_string(result.entriesSkipped)});
}

std::string buildQuestion(const archive::BuildResult& result, std::string_view archivePath)
{
    std::string text =
        fill(tr(res::kBuildDone), {std::to_string(result.entries), nativePath(archivePath)});
    if (const auto skipped = static_cast<int>(result.skippedLinks.size()); skipped > 0) {
        text += "\n\n" + fill(tr(res::kBuildSkippedLinks), {skipped});
        for (int i = 0; i < std::min(skipped, res::kBuildSkippedShown); ++i)
            text += '\n' + nativePath(result.skippedLinks[std::size_t(i)]);
        if (skipped > res::kBuildSkippedShown)
            text += '\n' + fill(tr(res::kBuildSkippedMore), {skipped - res::kBuildSkippedShown});
    }
    return text + "\n\n" + tr(res::kOpenBuiltArchive);
}

std::string updateResult(std::string_view archivePath, const archive::UpdateResult& result)
{
    const std::string name = archive::paths::fileName(archivePath);
    if (result.cancelled)
        return fill(tr(res::edit::kUpdateCancelled), {name});
    return fill(tr(res::edit::kUpdateDone),
                {name, std::to_string(result.added), std::to_string(result.replaced),
                 std::to_string(result.deleted), std::to_string(result.renamed)}) +
           (result.splitHardLinks ? tr(res::edit::kUpdateSplitLinks) : "");
}

} // namespace session::wording
