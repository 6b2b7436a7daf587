// An uninstaller with nothing to do: the uninstall pass's per-row cost is
// then the cost of starting and awaiting one process.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
