#pragma once

// The one main of the window tests: a QApplication (offscreen unless told otherwise), then the
// tests, or a mode a test file added for the screenshot script.

#include <QString>

class QAbstractButton;

namespace qttest {

// "PROGRAM option FILE" runs mode(FILE) instead of the tests; add it from a namespace-scope
// initialiser.
using Mode = int (*)(const QString& file);
bool addMode(const char* option, Mode mode);

// Clicks the button and returns once the command it started has run: the dialog runs a
// command after the event that started it.
void click(QAbstractButton* button);

} // namespace qttest
