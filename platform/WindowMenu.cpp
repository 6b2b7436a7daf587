#include "WindowMenu.h"

void EnableCloseCommand(HWND window, bool enable) {
    ::EnableMenuItem(::GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_DISABLED));
}
