// The start-up hardening, seen from a real process: what it can still load or
// find by a bare name with and without HardenProcess().
#include <doctest/doctest.h>

#include "Hostile.h"

TEST_CASE("hardening stops a planted DLL and the current folder from coming first") {
    // A file that shadows a system DLL's name in the child's current folder.
    const std::wstring cwd = ts::ScratchDir(L"safe-loading");
    HANDLE f = CreateFileW((cwd + L"version.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    CloseHandle(f);
    REQUIRE(ts::PathIsFile(ts::FixturePath(L"planted_probe.dll")));

    enum : DWORD { PlantedLoaded = 1, CurrentFolderFirst = 2, SystemDllLoaded = 4 };
    const struct {
        const wchar_t* args;
        DWORD expected;
    } cases[] = {
        // Without hardening, the probe shows that both ways in exist here.
        {L"", PlantedLoaded | CurrentFolderFirst | SystemDllLoaded},
        {L" --harden", SystemDllLoaded},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.args, c.args + wcslen(c.args)));
        DWORD exitCode = 0;
        REQUIRE(hostile::RunPlain(ts::FixturePath(L"safe_loading_probe.exe") + c.args, cwd, exitCode));
        CHECK(exitCode == c.expected);
    }
}
