// Reports, in its exit code, what a process can still load or find by a bare
// name, with or without the program's start-up hardening (--harden):
//   1  the DLL planted beside this exe was loaded by its bare name
//   2  SearchPathW found "version.dll" in the current folder, before the
//      system folder
//   4  a system DLL ("version.dll") loaded by its bare name
#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/SafeLoading.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    if (wcsstr(commandLine, L"--harden")) HardenProcess();
    int result = 0;
    if (LoadLibraryW(L"planted_probe.dll")) result |= 1;

    wchar_t found[MAX_PATH] = {};
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    if (SearchPathW(nullptr, L"version.dll", nullptr, MAX_PATH, found, nullptr)) {
        std::wstring dir(current);
        if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
        if (_wcsicmp(found, (dir + L"version.dll").c_str()) == 0) result |= 2;
    }
    if (LoadLibraryW(L"version.dll")) result |= 4;
    return result;
}
