#pragma once

#include <QString>
#include <QStringList>

// The languages the dialog speaks: its own Traditional Chinese, and English.
enum class DialogLanguage { chinese, english };

// The dialog's language for the user's languages in order of preference, as
// QLocale::uiLanguages() lists them (LANGUAGE, LC_ALL, LC_MESSAGES, LANG): the first Chinese or
// English one, any Chinese giving Traditional Chinese; English when neither is listed.
DialogLanguage dialogLanguage(const QStringList& uiLanguages);

// Installs the dialog's texts in language into the running application, and under Chinese Qt's
// own Traditional Chinese texts (file dialogs, message box buttons). False when a translation
// could not be loaded; the texts that have none stay as they are.
bool installTranslations(DialogLanguage language);
// Qt's own Traditional Chinese texts alone. False when the translation files are not installed;
// Qt then stays in English and nothing else changes.
bool installQtTranslations();

// A text of res/ in the dialog's language.
QString uiText(const char* source);
