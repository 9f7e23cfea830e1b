#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace archive {
class ArchiveError;
class ArchiveReader;
class CodePage;
struct BuildResult;
struct ExtractResult;
struct UpdateResult;
} // namespace archive

namespace session {
class ComparisonMarks;
}

// How the session words its status lines, results, questions and errors, from the texts in
// res/ (UTF-8, with %1, %2... filled in here).
namespace session::wording {

// The dialog's language: every text of res/ passes through tr() before it is filled in. A view
// installs its translation once, before its first window; without one the texts stay the
// program's own Traditional Chinese.
using Translation = std::function<std::string(const char* source)>;
void setTranslation(Translation translate);
std::string tr(const char* source);

// text with each %n replaced by args[n - 1] in one pass: a filled-in name holding "%2" stays.
std::string fill(std::string_view text, std::initializer_list<std::string_view> args);
std::string fill(std::string_view text, std::initializer_list<std::int64_t> numbers);
// A host path as the user's system writes it.
std::string nativePath(std::string_view path);
// An entry name shown as text.
std::string shownName(std::string_view entryName, const archive::CodePage& cp);

// The kind's text naming the file or entry, then on its own line the cause when a file is not
// an archive, else the system's reason, else the engine's own reason when the kind's text names
// only what failed.
std::string errorMessage(const archive::ArchiveError& error);
// The system's reason for errorNumber, or englishReason for a number without a text.
std::string systemReasonText(int errorNumber, const std::string& englishReason);
// An exception of no kind the engine declares, what() its English.
std::string unexpectedError(const char* what);

// The status line of a listed archive, naming the code page its names are read in and whether
// it was detected or chosen.
std::string statusLine(std::string_view archivePath, int count, const archive::CodePage& cp,
                       bool isDetected);
// The same with the counts of a comparison marked on it added.
std::string statusLine(std::string_view archivePath, int count, const archive::CodePage& cp,
                       bool isDetected, const session::ComparisonMarks& marks);
// The counts of each kind of mark.
std::string comparisonCounts(const session::ComparisonMarks& marks);
// The question after entry failed, before the entries extracted ahead of it.
std::string failureQuestion(const archive::ArchiveReader& archive,
                            const archive::ArchiveError& failure,
                            std::span<const std::uint32_t> before, std::uint32_t failed);
// An extraction's result into folder; isShort when it neither skipped nor stopped.
std::string extractionResult(const archive::ExtractResult& result, std::string_view folder,
                             bool& isShort);
// A finished build's result and its question whether to open the archive.
std::string buildQuestion(const archive::BuildResult& result, std::string_view archivePath);
std::string updateResult(std::string_view archivePath, const archive::UpdateResult& result);

} // namespace session::wording
