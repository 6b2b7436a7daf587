// Stands in for the programs the utility hands over to at the end: the
// handler of the farewell address's scheme and the post-uninstall helper.
// Appends one line to the file named by QBK_JOURNAL (UTF-8, tab-separated):
//   <own file name> <tab> <argument 1> <tab> <argument 2> ...
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "../fixtures/AppendLine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t journal[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QBK_JOURNAL", journal, MAX_PATH)) return 1;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = self;
    line = line.substr(line.find_last_of(L'\\') + 1);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i) line += L"\t" + std::wstring(argv[i]);
    LocalFree(argv);
    return fixture::AppendLine(journal, line) ? 0 : 1;
}
