// The whole program as a user meets it: the real Uninstall.exe runs as a
// separate process on a registry fixture and is driven only from outside,
// through its window's controls. Uninstallers are recorders that log how they
// were started; the farewell address's scheme handler and the post-uninstall
// helper are journal fixtures.
#include <doctest/doctest.h>

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "TestSupport.h"

namespace {

const wchar_t kScheme[] = L"qbk-e2e";
const wchar_t kAddress[] = L"qbk-e2e:farewell/uninstall";
const DWORD kHang = 60000;  // only stops a hang

struct Product {
    const wchar_t* name;
    const wchar_t* id;
};
// Named so that the registry's enumeration order is the order listed here.
const Product kProducts[] = {
    {L"Quillbrook Audio Recorder", L"audio"},
    {L"Quillbrook Disc Burner", L"disc"},
    {L"Quillbrook Media Player", L"player"},
    {L"Quillbrook Studio", L"studio"},
    {L"Quillbrook Video Converter", L"video"},
};

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring CommandOf(const std::wstring& log, const wchar_t* id) {
    return Quoted(ts::FixturePath(L"recorder.exe")) + L" --log " + Quoted(log) + L" --id " + id + L" --sleep 200";
}

// Five products, a "Common" value that must never run, the farewell address
// on a scheme whose handler journals it, and the helper in Documents.
struct Fixture {
    std::wstring dir, log, journal;
    explicit Fixture(const wchar_t* tag) {
        dir = ts::ScratchDir(tag);
        log = dir + L"recorder.log";
        journal = dir + L"journal.log";
        ts::ResetFamilyKey();
        for (const auto& p : kProducts) ts::SetString(ts::kUninstallPaths, p.name, CommandOf(log, p.id));
        ts::SetString(ts::kUninstallPaths, L"Common", CommandOf(log, L"common"));
        ts::SetString(ts::kLinks, L"Uninstall", kAddress);
        e2e::InstallJournal(kScheme, journal);
    }
    ~Fixture() {
        e2e::RemoveJournal(kScheme);
        ts::ResetFamilyKey();
    }
};

std::vector<e2e::Row> RowsOf(std::initializer_list<int> indexes, std::initializer_list<int> ticked = {}) {
    std::vector<e2e::Row> rows;
    for (int i : indexes) {
        bool on = false;
        for (int t : ticked) on = on || t == i;
        rows.push_back(e2e::Row{kProducts[i].name, on});
    }
    return rows;
}

std::string Describe(const std::vector<e2e::Row>& rows) {
    std::string s;
    for (const auto& r : rows) s += (r.checked ? "[x] " : "[ ] ") + e2e::Utf8(r.caption) + "; ";
    return s;
}

#define verify_rows(w, expected) verify_rows_(__LINE__, w, expected)
void verify_rows_(unsigned line, const e2e::AppWindow& w, const std::vector<e2e::Row>& expected) {
    INFO("checked at line " << line);
    e2e::RemoteList list(w.list);
    const auto rows = list.Rows();
    CHECK_MESSAGE(rows == expected, "rows: " << Describe(rows) << " expected: " << Describe(expected));
}

#define verify_controls(w, buttonEnabled, boxChecked, boxEnabled) \
    verify_controls_(__LINE__, w, buttonEnabled, boxChecked, boxEnabled)
void verify_controls_(unsigned line, const e2e::AppWindow& w, bool buttonEnabled, bool boxChecked, bool boxEnabled) {
    INFO("checked at line " << line);
    CHECK(!!IsWindowEnabled(w.button) == buttonEnabled);
    CHECK((SendMessageW(w.box, BM_GETCHECK, 0, 0) == BST_CHECKED) == boxChecked);
    CHECK(!!IsWindowEnabled(w.box) == boxEnabled);
}

// One uninstaller run as the recorder logged it: started with the stored
// command plus " /silent", seeing the marker, alone, and ended before the next.
struct Run {
    const wchar_t* id;
    const wchar_t* marker;
};
#define verify_runs(fx, runs) verify_runs_(__LINE__, fx, runs)
void verify_runs_(unsigned line, const Fixture& fx, const std::vector<Run>& runs) {
    INFO("checked at line " << line);
    const auto lines = ts::WaitForLines(fx.log, L"end\t", runs.size(), kHang);
    const auto all = ts::ReadLines(fx.log);
    REQUIRE(all.size() == runs.size() * 2);
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto start = ts::SplitTabs(all[2 * i]);
        const auto end = ts::SplitTabs(all[2 * i + 1]);
        INFO("run " << i << ": " << e2e::Utf8(all[2 * i]));
        REQUIRE(start.size() == 6);
        CHECK(start[0] == L"start");
        CHECK(start[1] == runs[i].id);
        CHECK(start[3] == runs[i].marker);
        CHECK(start[4] == L"0");
        CHECK(start[5] == CommandOf(fx.log, runs[i].id) + L" /silent");
        REQUIRE(end.size() == 3);
        CHECK(end[0] == L"end");
        CHECK(end[1] == runs[i].id);
        CHECK(end[2] == start[2]);
    }
}

void Tick(const e2e::AppWindow& w, int row) {
    e2e::RemoteList list(w.list);
    e2e::PostClick(w.list, list.CheckBoxPoint(row));
    REQUIRE(e2e::WaitUntilResponsive(w.form, kHang));
}

void Press(HWND control) { e2e::PostClick(control, e2e::Centre(control)); }

}  // namespace

TEST_CASE("two of five ticked: both run in order, silently, and three rows stay") {
    Fixture fx(L"e2e-typical");
    ts::SetDword(ts::kFamily, L"UninstallMode", 1);
    ts::Process app(Quoted(ts::ProgramPath()));
    REQUIRE(app.Started());
    const e2e::AppWindow w = e2e::FindAppWindow(app.Id(), kHang);
    REQUIRE(w);

    verify_rows(w, RowsOf({0, 1, 2, 3, 4}));
    verify_controls(w, false, false, true);

    Tick(w, 1);
    Tick(w, 3);
    verify_rows(w, RowsOf({0, 1, 2, 3, 4}, {1, 3}));
    verify_controls(w, true, false, true);

    Press(w.button);
    verify_runs(fx, (std::vector<Run>{{L"disc", L"absent"}, {L"studio", L"absent"}}));
    REQUIRE(e2e::WaitUntilResponsive(w.form, kHang));
    CHECK_FALSE(ts::ValueExists(ts::kFamily, L"UninstallMode"));
    verify_rows(w, RowsOf({0, 2, 4}));
    verify_controls(w, false, false, true);
    CHECK(app.ExitCode() == STILL_ACTIVE);
    CHECK(ts::ReadLines(fx.journal).empty());

    // The Close command is back: the title bar's close button ends the program.
    e2e::PostCloseButtonClick(w.form);
    REQUIRE(app.Wait(kHang));
    CHECK(app.ExitCode() == 0);
    CHECK(ts::ReadLines(fx.journal).empty());
    CHECK(ts::ReadLines(fx.log).size() == 4);
}

TEST_CASE("every product: all run with the marker set, then farewell, helper and exit code 0") {
    Fixture fx(L"e2e-all");
    ts::Process app(Quoted(ts::ProgramPath()));
    REQUIRE(app.Started());
    const e2e::AppWindow w = e2e::FindAppWindow(app.Id(), kHang);
    REQUIRE(w);

    Press(w.box);
    REQUIRE(e2e::WaitUntilResponsive(w.form, kHang));
    verify_rows(w, RowsOf({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}));
    verify_controls(w, true, true, true);

    Press(w.button);
    REQUIRE(app.Wait(kHang));
    CHECK(app.ExitCode() == 0);
    verify_runs(fx, (std::vector<Run>{{L"audio", L"1"},
                                      {L"disc", L"1"},
                                      {L"player", L"1"},
                                      {L"studio", L"1"},
                                      {L"video", L"1"}}));
    DWORD marker = 0;
    CHECK(ts::GetDword(ts::kFamily, L"UninstallMode", marker));
    CHECK(marker == 1);

    const auto link = ts::WaitForLines(fx.journal, L"journal.exe\t", 1, kHang);
    const auto helper = ts::WaitForLines(fx.journal, L"QbkUninstall.exe\t", 1, kHang);
    CHECK(link == std::vector<std::wstring>{std::wstring(L"journal.exe\tlink\t") + kAddress});
    CHECK(helper == std::vector<std::wstring>{L"QbkUninstall.exe\tPROCESSID-" + std::to_wstring(app.Id())});
    CHECK(ts::ReadLines(fx.journal).size() == 2);
}
