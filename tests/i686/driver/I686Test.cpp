// The shipped 32-bit Uninstall.exe as users get it, run under 32-bit Wine and
// driven from outside by this 32-bit program, so that the list-view records
// placed in its memory have its layout. Fixtures are written from here, a
// 32-bit process, so they land in the registry view the program reads
// (SOFTWARE\Wow6432Node on a 64-bit system); a decoy in the 64-bit view must
// stay unseen.
#include <doctest/doctest.h>

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "SharedList.h"
#include "TestSupport.h"

namespace {

// Only stops a hang: every program start is emulated and may take a minute
// on a busy machine.
const DWORD kHang = 300000;
const wchar_t kScheme[] = L"qbk-i686";
const wchar_t kAddress[] = L"qbk-i686:farewell/uninstall";
const wchar_t kWow64Family[] = L"SOFTWARE\\Wow6432Node\\Quillbrook";

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// ------------------------------------------------------- the 64-bit view

HKEY Open64(const wchar_t* key, bool create) {
    HKEY h = nullptr;
    const REGSAM access = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
    const LONG rc = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, access, nullptr, &h, nullptr)
                           : RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, access, &h);
    return rc == ERROR_SUCCESS ? h : nullptr;
}

bool ValueIn64BitView(const wchar_t* key, const wchar_t* name) {
    HKEY h = Open64(key, false);
    if (!h) return false;
    const bool found = RegQueryValueExW(h, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(h);
    return found;
}

void SetString64(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
    HKEY h = Open64(key, true);
    REQUIRE(h);
    RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
}

void DeleteFamily64() {
    HKEY software = Open64(L"SOFTWARE", false);
    if (!software) return;
    RegDeleteTreeW(software, L"Quillbrook");
    RegDeleteKeyExW(software, L"Quillbrook", KEY_WOW64_64KEY, 0);
    RegCloseKey(software);
}

// -------------------------------------------------------------- fixtures

// A clean family key in both views, uninstallers that are recorders, the
// farewell address on a scheme whose handler journals it, and the helper in
// Documents (also a journal).
struct Fixture {
    std::wstring dir, log, journal;
    explicit Fixture(const wchar_t* tag) {
        dir = ts::ScratchDir(tag);
        log = dir + L"recorder.log";
        journal = dir + L"journal.log";
        ts::ResetFamilyKey();
        DeleteFamily64();
        e2e::InstallJournal(kScheme, journal);
    }
    ~Fixture() {
        e2e::RemoveJournal(kScheme);
        ts::ResetFamilyKey();
        DeleteFamily64();
    }
    std::wstring Command(const wchar_t* id) const {
        return Quoted(ts::FixturePath(L"recorder.exe")) + L" --log " + Quoted(log) + L" --id " + id;
    }
};

std::string Describe(const std::vector<e2e::Row>& rows) {
    std::string s;
    for (const auto& r : rows) s += (r.checked ? "[x] " : "[ ] ") + e2e::Utf8(r.caption) + "; ";
    return s;
}

// -------------------------------------------------- verifying with lines

#define verify_rows(w, ...) verify_rows_(__LINE__, w, std::vector<e2e::Row>{__VA_ARGS__})
void verify_rows_(unsigned line, const e2e::AppWindow& w, const std::vector<e2e::Row>& expected) {
    INFO("checked at line " << line);
    i686::SharedList list(w.list);
    REQUIRE(list);
    const auto rows = list.Rows();
    CHECK_MESSAGE(rows == expected, "rows: " << Describe(rows) << " expected: " << Describe(expected));
}

#define verify_controls(w, buttonEnabled, boxChecked, boxEnabled) \
    verify_controls_(__LINE__, w, buttonEnabled, boxChecked, boxEnabled)
void verify_controls_(unsigned line, const e2e::AppWindow& w, bool buttonEnabled, bool boxChecked, bool boxEnabled) {
    INFO("checked at line " << line);
    CHECK(!!IsWindowEnabled(w.button) == buttonEnabled);
    CHECK(ts::ButtonChecked(w.box) == boxChecked);
    CHECK(!!IsWindowEnabled(w.box) == boxEnabled);
}

// The uninstallers as the recorder logged them, in order: each started with
// the stored command plus " /silent", alone, seeing the marker `marker`.
#define verify_runs(fx, marker, ...) verify_runs_(__LINE__, fx, marker, std::vector<const wchar_t*>{__VA_ARGS__})
void verify_runs_(unsigned line, const Fixture& fx, const wchar_t* marker, const std::vector<const wchar_t*>& ids) {
    INFO("checked at line " << line);
    ts::WaitForLines(fx.log, L"end\t", ids.size(), kHang);
    const auto all = ts::ReadLines(fx.log);
    REQUIRE(all.size() == ids.size() * 2);
    for (size_t i = 0; i < ids.size(); ++i) {
        const auto start = ts::SplitTabs(all[2 * i]);
        const auto end = ts::SplitTabs(all[2 * i + 1]);
        INFO("run " << i << ": " << e2e::Utf8(all[2 * i]));
        REQUIRE(start.size() == 6);
        CHECK(start[0] == L"start");
        CHECK(start[1] == ids[i]);
        CHECK(start[3] == marker);
        CHECK(start[4] == L"0");
        CHECK(start[5] == fx.Command(ids[i]) + L" /silent");
        REQUIRE(end.size() == 3);
        CHECK(end[0] == L"end");
        CHECK(end[2] == start[2]);
    }
}

// Gives up at once when the program has ended instead, e.g. killed by an
// error that could not unwind.
#define verify_error_box(app, text) verify_error_box_(__LINE__, app, text)
void verify_error_box_(unsigned line, const ts::Process& app, const std::wstring& text) {
    INFO("checked at line " << line);
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!box && app.ExitCode() == STILL_ACTIVE && GetTickCount() - start < kHang)
        box = ts::WaitForWindow(app.Id(), L"#32770", L"Uninstall", 500);
    INFO("exit code: " << app.ExitCode());
    REQUIRE(box);
    CHECK(e2e::Utf8(ts::MessageBoxText(box)) == e2e::Utf8(text));
    ts::DismissMessageBox(box);
}

void Press(const e2e::AppWindow& w, HWND control) {
    e2e::PostClick(control, e2e::Centre(control));
    REQUIRE(e2e::WaitUntilResponsive(w.form, kHang));
}

e2e::Row Unticked(const wchar_t* caption) { return e2e::Row{caption, false}; }
e2e::Row Ticked(const wchar_t* caption) { return e2e::Row{caption, true}; }

}  // namespace

TEST_CASE("start-up: a REG_DWORD product stops it with one error box and exit code 0") {
    Fixture fx(L"i686-startup-error");
    ts::SetString(ts::kUninstallPaths, L"Quillbrook Audio Recorder", fx.Command(L"audio"));
    ts::SetDword(ts::kUninstallPaths, L"Quillbrook Broken", 5);
    ts::Process app(Quoted(ts::ProgramPath()));
    REQUIRE(app.Started());

    verify_error_box(app, L"Invalid data type for 'Quillbrook Broken'");
    REQUIRE(app.Wait(kHang));
    CHECK(app.ExitCode() == 0);
    CHECK_FALSE(e2e::FindAppWindow(app.Id(), 0));
    CHECK(ts::ReadLines(fx.log).empty());
}

TEST_CASE("list and one pass in the 32-bit view: Common skipped, marker written, ran row dropped") {
    Fixture fx(L"i686-pass");
    ts::SetString(ts::kUninstallPaths, L"Common", fx.Command(L"common"));
    ts::SetString(ts::kUninstallPaths, L"Quillbrook Audio Recorder", fx.Command(L"audio"));
    // Empty: never started, so its row stays and keeps the window open.
    ts::SetString(ts::kUninstallPaths, L"Quillbrook Studio", L"");
    SetString64(L"SOFTWARE\\Quillbrook\\UninstallPaths", L"Quillbrook Decoy", fx.Command(L"decoy"));
    REQUIRE(ValueIn64BitView(L"SOFTWARE\\Wow6432Node\\Quillbrook\\UninstallPaths", L"Quillbrook Audio Recorder"));

    ts::Process app(Quoted(ts::ProgramPath()));
    REQUIRE(app.Started());
    const e2e::AppWindow w = e2e::FindAppWindow(app.Id(), kHang);
    REQUIRE(w);
    verify_rows(w, Unticked(L"Quillbrook Audio Recorder"), Unticked(L"Quillbrook Studio"));
    verify_controls(w, false, false, true);

    Press(w, w.box);
    verify_rows(w, Ticked(L"Quillbrook Audio Recorder"), Ticked(L"Quillbrook Studio"));
    verify_controls(w, true, true, true);

    Press(w, w.button);
    verify_runs(fx, L"1", L"audio");
    verify_rows(w, Ticked(L"Quillbrook Studio"));
    verify_controls(w, true, true, true);
    DWORD marker = 0;
    CHECK(ts::GetDword(ts::kFamily, L"UninstallMode", marker));
    CHECK(marker == 1);
    // Where a 32-bit program's HKLM\SOFTWARE lands on a 64-bit system.
    CHECK(ValueIn64BitView(kWow64Family, L"UninstallMode"));
    CHECK_FALSE(ValueIn64BitView(L"SOFTWARE\\Quillbrook", L"UninstallMode"));
    CHECK(app.ExitCode() == STILL_ACTIVE);

    e2e::PostCloseButtonClick(w.form);
    REQUIRE(app.Wait(kHang));
    CHECK(app.ExitCode() == 0);
    CHECK(ts::ReadLines(fx.journal).empty());
}

TEST_CASE("every product: farewell address to the shell, helper with PROCESSID-<pid>, exit code 0") {
    Fixture fx(L"i686-finish");
    ts::SetString(ts::kUninstallPaths, L"Quillbrook Media Player", fx.Command(L"player"));
    ts::SetString(ts::kLinks, L"Uninstall", kAddress);
    ts::Process app(Quoted(ts::ProgramPath()));
    REQUIRE(app.Started());
    const e2e::AppWindow w = e2e::FindAppWindow(app.Id(), kHang);
    REQUIRE(w);

    Press(w, w.box);
    verify_rows(w, Ticked(L"Quillbrook Media Player"));
    e2e::PostClick(w.button, e2e::Centre(w.button));
    REQUIRE(app.Wait(kHang));
    CHECK(app.ExitCode() == 0);
    verify_runs(fx, L"1", L"player");

    const auto link = ts::WaitForLines(fx.journal, L"journal.exe\t", 1, kHang);
    const auto helper = ts::WaitForLines(fx.journal, L"QbkUninstall.exe\t", 1, kHang);
    CHECK(link == std::vector<std::wstring>{std::wstring(L"journal.exe\tlink\t") + kAddress});
    CHECK(helper == std::vector<std::wstring>{L"QbkUninstall.exe\tPROCESSID-" + std::to_wstring(app.Id())});
    CHECK(ts::ReadLines(fx.journal).size() == 2);
}

// i686 code unwinds with DWARF tables, which cannot cross the system's frames:
// an error that escaped a window procedure would end the process here even
// where the 64-bit build survives.
TEST_CASE("an error raised inside a click handler is shown, and the program goes on") {
    Fixture fx(L"i686-handler-error");
    ts::SetString(ts::kUninstallPaths, L"Quillbrook Video Converter", fx.Command(L"video"));
    ts::SetDword(ts::kLinks, L"Uninstall", 1);
    ts::Process app(Quoted(ts::ProgramPath()));
    REQUIRE(app.Started());
    const e2e::AppWindow w = e2e::FindAppWindow(app.Id(), kHang);
    REQUIRE(w);

    Press(w, w.box);
    e2e::PostClick(w.button, e2e::Centre(w.button));
    verify_error_box(app, L"Invalid data type for 'Uninstall'");
    REQUIRE(e2e::WaitUntilResponsive(w.form, kHang));
    CHECK(app.ExitCode() == STILL_ACTIVE);
    CHECK(IsWindowVisible(w.form));
    verify_runs(fx, L"1", L"video");
    verify_rows(w);
    CHECK(ts::ReadLines(fx.journal).empty());

    PostMessageW(w.form, WM_CLOSE, 0, 0);
    REQUIRE(app.Wait(kHang));
    CHECK(app.ExitCode() == 0);
    CHECK(ts::ReadLines(fx.journal).empty());
}
