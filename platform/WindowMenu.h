#pragma once

#include <windows.h>

// Enables or disables the Close command of the window's system menu.
void EnableCloseCommand(HWND window, bool enable);
