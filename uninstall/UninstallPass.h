#pragma once

#include <functional>

#include "../platform/Forms.h"

// Where the every-product marker lives: present (REG_DWORD 1) when every
// listed product was ticked as the latest pass began.
extern const wchar_t kFamilyKey[];
extern const wchar_t kUninstallModeValue[];

// The uninstall pass behind the Uninstall button: records the marker, then
// runs each ticked row's command with " /silent", one at a time, dropping
// each row whose uninstaller ran. Then `refresh` when rows remain, or
// `finish` when none do. Runs on the UI thread and dispatches no messages.
void RunUninstallPass(HWND window, TListView& lvApp, const std::function<void()>& refresh,
                      const std::function<void()>& finish);

// The program path that must be named to CreateProcessW for `command`, or ""
// when Windows may parse the command line itself.
UnicodeString ExplicitProgramPath(const UnicodeString& command);
