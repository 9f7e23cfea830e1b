#pragma once

// The one main of the window tests: a QApplication (offscreen unless told otherwise), then the
// tests, or a mode a test file added for the screenshot script.

#include <QString>

namespace qttest {

// "PROGRAM option FILE" runs mode(FILE) instead of the tests; add it from a namespace-scope
// initialiser.
using Mode = int (*)(const QString& file);
bool addMode(const char* option, Mode mode);

} // namespace qttest
