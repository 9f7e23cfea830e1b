#pragma once

#include <QString>

#include <string>

namespace archive {
class ArchiveError;
}

// The session's wording of a failure (session/Wording.h) as the dialog shows it: the kind's text
// naming the file or entry, then on its own line the cause when a file is not an archive, else the
// system's reason when a system call failed, else the engine's own reason when the kind's text
// names only what failed.
QString errorMessage(const archive::ArchiveError& error);

// The system's reason for errorNumber in Chinese, or englishReason for a number without a text.
QString systemReasonText(int errorNumber, const std::string& englishReason);
