// Thin wrappers over the shell, folder and file functions the program uses.
// Each reports failure by its result and never raises.
#pragma once

#include <windows.h>

#include "System.h"

// ShellExecuteW with the default verb, shown normally; the result is not
// examined. Empty texts are passed as empty texts, never as null.
void ShellExecuteDefault(HWND owner, const UnicodeString& target, const UnicodeString* parameters);

// The current user's documents folder at its current location, or false.
bool DocumentsFolder(UnicodeString& folder);

// True only for an existing file; false for a folder or nothing.
bool FileExists(const UnicodeString& path);
