// What the program does once every listed product is gone: the farewell
// page, closing, and the family's post-uninstall helper.
#pragma once

#include "../platform/Forms.h"

extern const wchar_t kLinksKey[];
// Opened when the registry names no farewell address.
extern const wchar_t kDefaultLink[];
// Below the user's documents folder.
extern const wchar_t kHelperRelativePath[];

// Hands `target` to the shell to open with its default action.
void ShellOpen(const UnicodeString& target);
// Opens the address stored under `name` in the Links key.
void OpenLink(const UnicodeString& name);
// Opens the farewell page, closes `form` and starts the helper when present.
void FinishAll(TForm& form);

// The helper's full path below `documents`, with one backslash between.
UnicodeString HelperPath(const UnicodeString& documents);
