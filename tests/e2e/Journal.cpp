// Stands in for the programs the utility hands over to at the end: the
// handler of the farewell address's scheme and the post-uninstall helper.
// Appends one line to the file named by QBK_JOURNAL (UTF-8, tab-separated):
//   <own file name> <tab> <argument 1> <tab> <argument 2> ...
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {
std::string Utf8(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    if (n) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}
}  // namespace

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
    const std::string bytes = Utf8(line + L"\n");
    // Retried while another writer holds the file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE f = CreateFileW(journal, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(f);
            return 0;
        }
        Sleep(10);
    }
    return 1;
}
