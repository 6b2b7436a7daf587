// Stands in for what the program starts once the list is empty: the handler
// of a test address scheme (registered as `finish_recorder.exe --link "%1"`)
// and the post-uninstall helper (a copy named QbkUninstall.exe, started with
// the program's parameter text). Appends one line, UTF-8 and tab-separated,
// to the file named by the environment variable UNINSTALL_FINISH_LOG:
//   kind <tab> created <tab> program <tab> arguments
// kind is "link" or "helper"; created is this process's creation time in
// 100 ns ticks, which orders the starts; program is the command line's first
// token exactly as the starter wrote it (quotes removed); arguments is the
// rest of the command line exactly as given.
#include <windows.h>

#include <string>

#include "../fixtures/AppendLine.h"

namespace {
unsigned long long CreationTicks() {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring line = GetCommandLineW();
    std::wstring program;
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        program = line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
        at = close == std::wstring::npos ? line.size() : close + 1;
    } else {
        at = line.find_first_of(L" \t");
        if (at == std::wstring::npos) at = line.size();
        program = line.substr(0, at);
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
    std::wstring arguments = line.substr(at);

    std::wstring kind = L"helper";
    const std::wstring linkSwitch = L"--link ";
    if (arguments.compare(0, linkSwitch.size(), linkSwitch) == 0) {
        kind = L"link";
        arguments.erase(0, linkSwitch.size());
    }

    wchar_t log[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"UNINSTALL_FINISH_LOG", log, MAX_PATH))
        fixture::AppendLine(log, kind + L"\t" + std::to_wstring(CreationTicks()) + L"\t" + program + L"\t" + arguments);
    return 0;
}
