#pragma once

#include "session/edits/ExternalEdits.h"

// The dialog's copies in other programs are the session's, watched through QtFileWatch.
using ExternalEdits = session::ExternalEdits;
