// Times what the product's imports cost at start-up: the time from process
// creation to the entry, then loading each DLL the product imports beyond
// a bare window's, one by one. Built twice, with and without the product's
// manifest, to separate the manifest's share. Prints "PROFILE <step> <ms>".
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <initializer_list>

namespace {
double NowMs() {
    LARGE_INTEGER f, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(f.QuadPart);
}

double SinceCreation() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}
}  // namespace

int wmain() {
    printf("PROFILE process_creation_to_main %.3f\n", SinceCreation());
    for (const wchar_t* dll : {L"user32.dll", L"gdi32.dll", L"comctl32.dll", L"ole32.dll", L"shell32.dll"}) {
        const double t = NowMs();
        HMODULE module = LoadLibraryW(dll);
        printf("PROFILE load_%ls %.3f\n", dll, module ? NowMs() - t : -1.0);
    }
    const double t = NowMs();
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    printf("PROFILE co_initialize %.3f\n", SUCCEEDED(hr) ? NowMs() - t : -1.0);
    return 0;
}
