#pragma once

// What the running application needs before the dialog opens: Qt's own texts in Traditional
// Chinese. It sets no application display name: the desktop would append that to every window
// title, and the dialog's caption already names the program.
void setUpApplication();
