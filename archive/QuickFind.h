#pragma once

#include <string_view>

namespace archive {

class EntryList;

// Index of the first item whose match key (its text after the first '\', found with the
// double-byte rules) begins with findText, both upper-cased; 0 for an empty findText when the
// list has items; -1 when nothing matches. findText is Big5 bytes.
int quickFind(const EntryList& list, std::string_view findText);

// Builds the packed keys quickFind scans, so the first keystroke after listing does not wait
// for them. Optional: quickFind builds them itself when they are missing or stale.
void prepareQuickFind(const EntryList& list);

} // namespace archive
