// The product list as the real window loads it from the registry of the test
// prefix: in process (rows of lvApp) and as the started program (what the
// user sees, start-up errors included).
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "OpenHandles.h"
#include "TestSupport.h"
#include "app/Main.h"
#include "platform/Registry.h"

namespace {

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    return out;
}

struct Row {
    std::wstring caption;
    std::wstring command;
    bool operator==(const Row& o) const { return caption == o.caption && command == o.command; }
};

std::string Show(const std::vector<Row>& rows) {
    std::string s;
    for (const auto& r : rows) s += "[" + Narrow(r.caption) + " => " + Narrow(r.command) + "] ";
    return s;
}

struct Value {
    std::wstring name;
    DWORD type;
    std::wstring text;  // stored with its NUL; REG_DWORD values store 1
    bool empty = false;  // zero bytes of data instead
};

void Store(const Value& v) {
    if (v.empty) {
        ts::SetRaw(ts::kUninstallPaths, v.name, v.type, nullptr, 0);
    } else if (v.type == REG_DWORD) {
        ts::SetDword(ts::kUninstallPaths, v.name, 1);
    } else {
        ts::SetString(ts::kUninstallPaths, v.name, v.text, v.type);
    }
}

// The rows of the window's list, read from the control itself.
std::vector<Row> Rows(TfrmMain& form) {
    std::vector<Row> rows;
    for (int i = 0; i < form.lvApp->Count(); ++i) {
        TListItem item = form.lvApp->Item(i);
        const TStrings& sub = item.SubItems();
        rows.push_back({item.Caption(), sub.Count() ? sub[0] : L"<no sub-item>"});
    }
    return rows;
}

}  // namespace

TEST_CASE("the window lists the registered products") {
    ts::EnsureApplication();
    const std::wstring expand = L"%ProgramFiles%\\Quillbrook\\unins000.exe /LOG=%TEMP%\\u.log";
    struct Case {
        const char* what;
        std::vector<Value> values;
        // Expected rows by name; rows must come in the registry's own order.
        std::vector<Row> expected;
    } cases[] = {
        {"order kept",
         {{L"beta", REG_SZ, L"b.exe"}, {L"Alpha", REG_SZ, L"a.exe"}, {L"gamma", REG_SZ, L"g.exe"},
          {L"Delta", REG_SZ, L"d.exe"}},
         {{L"beta", L"b.exe"}, {L"Alpha", L"a.exe"}, {L"gamma", L"g.exe"}, {L"Delta", L"d.exe"}}},
        // Value names are unique regardless of case, so each spelling of the
        // reserved name needs a key of its own.
        {"Common skipped", {{L"Common", REG_SZ, L"shared.exe"}, {L"Player", REG_SZ, L"p.exe"}}, {{L"Player", L"p.exe"}}},
        {"common listed", {{L"common", REG_SZ, L"lower.exe"}}, {{L"common", L"lower.exe"}}},
        {"COMMON listed", {{L"COMMON", REG_SZ, L"upper.exe"}}, {{L"COMMON", L"upper.exe"}}},
        {"Common with a trailing space listed", {{L"Common ", REG_SZ, L"s.exe"}}, {{L"Common ", L"s.exe"}}},
        {"a Common of another type is never read",
         {{L"Common", REG_DWORD, L""}, {L"Player", REG_SZ, L"p.exe"}},
         {{L"Player", L"p.exe"}}},
        {"only Common", {{L"Common", REG_BINARY, L"bin"}}, {}},
        {"the default value is a row with an empty caption",
         {{L"", REG_SZ, L"default.exe"}, {L"Player", REG_SZ, L"p.exe"}},
         {{L"", L"default.exe"}, {L"Player", L"p.exe"}}},
        {"only the default value", {{L"", REG_SZ, L"default.exe"}}, {{L"", L"default.exe"}}},
        {"names and commands beyond ASCII",
         {{L"Lecteur \u00e9dition \u2013 \u6f22\u5b57", REG_SZ, L"C:\\Programmes\\\u00e9\\u.exe"}},
         {{L"Lecteur \u00e9dition \u2013 \u6f22\u5b57", L"C:\\Programmes\\\u00e9\\u.exe"}}},
        {"the same command twice gives two rows",
         {{L"Player", REG_SZ, L"shared.exe /all"}, {L"Burner", REG_SZ, L"shared.exe /all"}},
         {{L"Player", L"shared.exe /all"}, {L"Burner", L"shared.exe /all"}}},
        {"REG_EXPAND_SZ unexpanded", {{L"Converter", REG_EXPAND_SZ, expand}}, {{L"Converter", expand}}},
        {"empty data of any type is an empty command",
         {{L"Empty string", REG_SZ, L""}, {L"No bytes", REG_DWORD, L"", true}, {L"No bytes sz", REG_SZ, L"", true}},
         {{L"Empty string", L""}, {L"No bytes", L""}, {L"No bytes sz", L""}}},
        {"an empty key", {}, {}},
    };

    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        RegCloseKey([] {
            HKEY h = nullptr;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, ts::kUninstallPaths, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                            nullptr);
            return h;
        }());
        for (const auto& v : c.values) Store(v);

        std::vector<Row> expected;
        for (const auto& name : ts::ValueNames(ts::kUninstallPaths)) {
            for (const auto& r : c.expected)
                if (r.caption == name) expected.push_back(r);
        }
        REQUIRE(expected.size() == c.expected.size());

        TfrmMain* form = new TfrmMain(Application);
        const std::vector<Row> rows = Rows(*form);
        CAPTURE(Show(rows));
        CHECK(rows == expected);
        CHECK(SendMessageW(form->lvApp->Handle(), LVM_GETITEMCOUNT, 0, 0) == static_cast<LRESULT>(expected.size()));
        CHECK(ts::CheckVector(form->lvApp->Handle()) == std::vector<bool>(expected.size(), false));
        delete form;
    }
}

TEST_CASE("a missing product key is created and the list is empty") {
    ts::EnsureApplication();
    ts::ResetFamilyKey();
    TfrmMain* form = new TfrmMain(Application);
    CHECK(form->lvApp->Count() == 0);
    CHECK(SendMessageW(form->lvApp->Handle(), LVM_GETITEMCOUNT, 0, 0) == 0);
    CHECK(ts::KeyExists(ts::kUninstallPaths));
    delete form;
}

TEST_CASE("a value that cannot be read as text stops the window's construction") {
    ts::EnsureApplication();
    struct Case {
        const char* what;
        Value bad;
    } cases[] = {
        {"REG_DWORD", {L"Broken", REG_DWORD, L""}},
        {"REG_BINARY", {L"Binary one", REG_BINARY, L"xy"}},
        {"REG_MULTI_SZ", {L"Multi", REG_MULTI_SZ, L"a"}},
        {"the default value", {L"", REG_DWORD, L""}},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        ts::SetString(ts::kUninstallPaths, L"Alpha", L"a.exe");
        ts::SetString(ts::kUninstallPaths, L"Zulu", L"z.exe");
        Store(c.bad);
        const long handlesBefore = regtest::OpenHandleCount();
        std::wstring message = L"<nothing raised>";
        try {
            delete new TfrmMain(Application);
        } catch (const ERegistryException& e) {
            message = e.Message();
        }
        CHECK(Narrow(message) == Narrow(L"Invalid data type for '" + c.bad.name + L"'"));
        CHECK(regtest::OpenHandleCount() == handlesBefore);
    }
}

// ------------------------------------------------------------ the program

namespace {

// Polls the visible top-level windows of one process, as often as it can,
// until `done` holds or a generous time-out passes, and records the class of
// every one it saw.
bool WatchUntil(DWORD pid, std::vector<std::wstring>& seen, const std::function<bool()>& done, DWORD ms = 30000) {
    const DWORD start = GetTickCount();
    for (;;) {
        const bool finished = done();
        for (HWND w : ts::VisibleWindows(pid)) seen.push_back(ts::ClassName(w));
        if (finished) return true;
        if (GetTickCount() - start > ms) return false;
        Sleep(1);
    }
}

}  // namespace

TEST_CASE("the program stops at a product it cannot read, with one error box") {
    ts::ResetFamilyKey();
    ts::SetString(ts::kUninstallPaths, L"Alpha", L"a.exe");
    ts::SetDword(ts::kUninstallPaths, L"Broken product", 1);
    ts::SetString(ts::kUninstallPaths, L"Zulu", L"z.exe");

    ts::Process program(L"\"" + ts::ProgramPath() + L"\"");
    REQUIRE(program.Started());
    std::vector<std::wstring> seen;
    HWND box = nullptr;
    REQUIRE(WatchUntil(program.Id(), seen, [&] {
        box = ts::WaitForWindow(program.Id(), L"#32770", L"Uninstall", 0);
        return box != nullptr;
    }));
    CHECK(ts::MessageBoxText(box) == L"Invalid data type for 'Broken product'");
    // The box is the program's only window on screen: neither the main
    // window nor the taskbar window of the application is shown.
    CHECK(ts::VisibleWindows(program.Id()) == std::vector<HWND>{box});

    ts::DismissMessageBox(box);
    REQUIRE(WatchUntil(program.Id(), seen, [&] { return program.Wait(0); }));
    CHECK(program.ExitCode() == 0);
    // Every window seen on screen at any time was that one box.
    for (const auto& cls : seen) {
        CAPTURE(Narrow(cls));
        CHECK(cls == L"#32770");
    }
}

TEST_CASE("the program opens its window with the registered products") {
    struct Case {
        const char* what;
        std::function<void()> fixture;
        LRESULT rows;
    } cases[] = {
        {"no products key", [] {}, 0},
        {"only Common", [] { ts::SetDword(ts::kUninstallPaths, L"Common", 1); }, 0},
        {"three products",
         [] {
             ts::SetString(ts::kUninstallPaths, L"Common", L"c.exe");
             for (const wchar_t* n : {L"Player", L"Burner", L"Tag editor"}) ts::SetString(ts::kUninstallPaths, n, L"x.exe");
         },
         3},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        c.fixture();

        ts::Process program(L"\"" + ts::ProgramPath() + L"\"");
        REQUIRE(program.Started());
        std::vector<std::wstring> seen;
        HWND window = nullptr;
        REQUIRE(WatchUntil(program.Id(), seen, [&] {
            window = ts::WaitForWindow(program.Id(), L"TfrmMain", L"Uninstall", 0);
            return window != nullptr;
        }));
        HWND list = ts::ChildOfClass(window, L"SysListView32");
        REQUIRE(list != nullptr);
        CHECK(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == c.rows);
        CHECK(ts::KeyExists(ts::kUninstallPaths));
        CHECK_FALSE(ts::WaitForWindow(program.Id(), L"#32770", nullptr, 0));

        PostMessageW(window, WM_CLOSE, 0, 0);
        REQUIRE(WatchUntil(program.Id(), seen, [&] { return program.Wait(0); }));
        CHECK(program.ExitCode() == 0);
        // The watch does see the main window when it is shown, so its
        // absence in the error case above means something.
        CHECK(std::count(seen.begin(), seen.end(), L"TfrmMain") > 0);
    }
}
