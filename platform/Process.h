// Starting a program and waiting for it, over CreateProcessW.
#pragma once

#include <windows.h>

#include "System.h"

// Starts `commandLine` (kept as given) and waits for the process to end,
// closing its handles. `program`, when not empty, names the executable
// explicitly instead of leaving it to the command line's parsing. Returns
// false when the process could not be started. `si` and `pi` are the
// caller's records, refilled by each start.
bool RunAndWait(const UnicodeString& program, const UnicodeString& commandLine, STARTUPINFOW& si,
                PROCESS_INFORMATION& pi);
