// Thin wrappers over the process, shell, folder and window-menu functions the
// program uses. Each reports failure by its result and never raises.
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

// ShellExecuteW with the default verb, shown normally; the result is not
// examined. Empty texts are passed as empty texts, never as null.
void ShellExecuteDefault(HWND owner, const UnicodeString& target, const UnicodeString* parameters);

// The current user's documents folder at its current location, or false.
bool DocumentsFolder(UnicodeString& folder);

// True only for an existing file; false for a folder or nothing.
bool FileExists(const UnicodeString& path);

// Enables or disables the Close command of the window's system menu.
void EnableCloseCommand(HWND window, bool enable);
