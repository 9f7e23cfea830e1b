#pragma once

#include <QString>

#include <string>

namespace archive {
class ArchiveError;
}

// The dialog's wording of a failure: the kind's text naming the file or entry, then the
// system's reason on its own line when a system call failed, or the cause when a file is not
// an archive.
QString errorMessage(const archive::ArchiveError& error);

// The system's reason for errorNumber in Chinese, or englishReason for a number without a text.
QString systemReasonText(int errorNumber, const std::string& englishReason);
