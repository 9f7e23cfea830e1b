#pragma once

// What the running application needs before the dialog opens: the dialog's language chosen from
// the system's (Traditional Chinese under a Chinese locale, with Qt's own texts in it; English
// under any other). It sets no application display name: the desktop would append that to every
// window title, and the dialog's caption already names the program.
void setUpApplication();
