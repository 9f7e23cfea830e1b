#pragma once

// Installs Qt's own Traditional Chinese texts (file dialogs, message box buttons) into the
// running application. False when the translation files are not installed; Qt then stays in
// English and nothing else changes.
bool installQtTranslations();
