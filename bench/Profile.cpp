// Splits the product's start-up into its steps, timed inside one process
// built from the product's own library and resources (same imports, same
// manifest), so that a gap between the product and its floor can be pinned
// on the step that causes it. Prints "PROFILE <step> <ms>" lines.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/Main.h"
#include "registry/Regedit.h"
#include "uninstall/ProductList.h"
#include "uninstall/Selection.h"
#include "uninstall/UninstallPass.h"

namespace {
double NowMs() {
    LARGE_INTEGER f, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(f.QuadPart);
}

void Step(const char* name, double ms) { printf("PROFILE %s %.3f\n", name, ms); }

// From the process's creation to here: the loader, the imported DLLs and
// the runtime's start-up.
double SinceCreation() {
    FILETIME created, exited, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    GetSystemTimePreciseAsFileTime(&now);
    auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The raw start-and-wait loop over the rows' command lines, run from this
// process (the product's DLLs, manifest and shown window).
double RawLoop(TListView& list) {
    const double t = NowMs();
    for (int i = 0; i < list.Count(); ++i) {
        std::wstring line = list.Item(i).SubItems()[0] + L" /silent";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) continue;
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return NowMs() - t;
}

std::unique_ptr<TForm> NewForm() {
    TNotifyEvent nothing = [](TObject*) {};
    return std::make_unique<TForm>(Application, frmMainLayout,
                                   std::vector<THandlerBinding>{{L"lvAppClick", nothing},
                                                                {L"btnProcessClick", nothing},
                                                                {L"chAllClick", nothing}});
}
}  // namespace

// With "pass": the product's uninstall pass over every listed row against
// the raw loop over the same command lines, both from this process.
int ProfilePass();

int wmain(int argc, wchar_t** argv) {
    Step("process_creation_to_main", SinceCreation());
    if (argc > 1 && std::wstring(argv[1]) == L"pass") return ProfilePass();

    double t = NowMs();
    Application->Initialize();
    Application->SetTitle(L"Uninstall");
    Step("application_initialize", NowMs() - t);

    t = NowMs();
    auto form = NewForm();
    Step("form_and_controls", NowMs() - t);
    TListView& list = *form->Control<TListView>(L"lvApp");

    t = NowMs();
    LoadProductList(list);
    Step("load_product_list", NowMs() - t);

    t = NowMs();
    bool ignore = false;
    RefreshControls(list, *form->Control<TButton>(L"btnProcess"), *form->Control<TCheckBox>(L"chAll"), ignore);
    Step("refresh_controls", NowMs() - t);

    t = NowMs();
    form->Show();
    UpdateWindow(form->Handle());
    Pump();
    Step("show_and_paint", NowMs() - t);
    Step("rows", list.Count());

    // The load again, in its two halves, on a fresh list.
    auto second = NewForm();
    TListView& rows = *second->Control<TListView>(L"lvApp");
    t = NowMs();
    std::vector<UnicodeString> names, commands;
    {
        auto reg = std::make_unique<TRegedit>(kUninstallPathsKey, HKEY_LOCAL_MACHINE);
        TStringList list;
        reg->GetValueNames(list);
        Step("registry_value_names", NowMs() - t);
        for (int i = 0; i < list.Count(); ++i) {
            names.push_back(list[i]);
            commands.push_back(reg->ReadString(list[i], UnicodeString()));
        }
    }
    Step("registry_names_and_reads", NowMs() - t);

    t = NowMs();
    rows.BeginUpdate();
    for (size_t i = 0; i < names.size(); ++i) rows.Add();
    Step("rows_add", NowMs() - t);
    for (size_t i = 0; i < names.size(); ++i) rows.Item(static_cast<int>(i)).SetChecked(false);
    Step("rows_add_check", NowMs() - t);
    for (size_t i = 0; i < names.size(); ++i) {
        TListItem row = rows.Item(static_cast<int>(i));
        row.SetCaption(names[i]);
        row.SubItems().Add(commands[i]);
    }
    rows.EndUpdate();
    Step("rows_add_check_caption", NowMs() - t);

    // The same reads through one open key, as the raw floor does them.
    t = NowMs();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallPathsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::vector<BYTE> data(4096);
        for (const auto& name : names) {
            DWORD type = 0, size = static_cast<DWORD>(data.size());
            RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        }
        RegCloseKey(key);
    }
    Step("registry_reads_one_open_key", NowMs() - t);

    // What one accessor read costs beyond that: the key opened (with
    // creation allowed, as the accessor opens it) and closed per value...
    t = NowMs();
    for (size_t i = 0; i < names.size(); ++i) {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallPathsKey, 0, nullptr, 0, KEY_READ, nullptr, &key,
                            nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    Step("registry_open_close_per_value", NowMs() - t);
    // ...and a query without data (the presence test and the size query).
    t = NowMs();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallPathsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (const auto& name : names) {
            DWORD size = 0;
            RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size);
        }
        RegCloseKey(key);
    }
    Step("registry_size_queries", NowMs() - t);
    second.reset();

    t = NowMs();
    form.reset();
    Step("destroy_form", NowMs() - t);
    return 0;
}

int ProfilePass() {
    Application->Initialize();
    auto form = NewForm();
    TListView& list = *form->Control<TListView>(L"lvApp");
    LoadProductList(list);
    form->Show();
    Pump();
    const int rows = list.Count();
    Step("pass_rows", rows);
    Step("pass_raw_loop_in_gui_process", RawLoop(list));
    for (int i = 0; i < rows; ++i) list.Item(i).SetChecked(true);
    double t = NowMs();
    RunUninstallPass(form->Handle(), list, [] {}, [] {});
    Step("pass_product", NowMs() - t);
    Step("pass_rows_left", list.Count());
    LoadProductList(list);
    Step("pass_raw_loop_in_gui_process_again", RawLoop(list));
    return 0;
}
