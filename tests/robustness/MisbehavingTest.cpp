// Uninstallers that misbehave, as real child processes: the pass still runs
// one at a time, drops exactly the rows whose uninstaller ran, and survives.
#include <doctest/doctest.h>

#include <algorithm>
#include <functional>

#include "Hostile.h"

namespace {
std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c >= 32 && c < 128 ? static_cast<char>(c) : '?';
    return s;
}

std::string Join(const std::vector<std::wstring>& v) {
    std::string s;
    for (const auto& item : v) s += (s.empty() ? "" : " ") + Narrow(item);
    return s;
}

struct Product {
    const wchar_t* name;  // names sort in the order they are written
    std::wstring extra;   // the recorder's arguments after --log and --id
    bool ticked;
    bool missing = false;  // the command names a program that is not there
};

struct Scenario {
    const char* what;
    std::vector<Product> products;
    std::vector<std::wstring> events;  // start:ID / end:ID in order, the detached child's left out
    std::vector<std::wstring> rowsLeft;
    std::vector<bool> checksLeft;
    std::function<void(const std::wstring& log)> more = nullptr;
};

bool Alive(DWORD pid) {
    HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!p) return false;
    const bool alive = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    CloseHandle(p);
    return alive;
}

void EndProcess(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!p) return;
    TerminateProcess(p, 1);
    WaitForSingleObject(p, 10000);
    CloseHandle(p);
}
}  // namespace

TEST_CASE("uninstallers that misbehave") {
    hostile::QuietCrashes quiet;
    const std::wstring log = ts::ScratchDir(L"misbehaving") + L"log.txt";
    const std::wstring products = ts::kUninstallPaths;

    const std::vector<Scenario> scenarios = {
        {"one crashes with an access violation",
         {{L"1 A", L"--crash", true}, {L"2 B", L"", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"start:B", L"end:B"},
         {L"9 Keep"},
         {false}},
        {"one whose file is missing",
         {{L"1 M", L"", true, true}, {L"2 B", L"", true}, {L"9 Keep", L"", false}},
         {L"start:B", L"end:B"},
         {L"1 M", L"9 Keep"},
         {true, false}},
        {"one that exits with a failure code",
         {{L"1 A", L"--exit 1603", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"end:A"},
         {L"9 Keep"},
         {false}},
        {"one that deletes its own value",
         {{L"1 A", L"--delete-value \"1 A\"", true}, {L"2 B", L"", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"end:A", L"start:B", L"end:B"},
         {L"9 Keep"},
         {false},
         [products](const std::wstring&) {
             CHECK(!ts::ValueExists(products.c_str(), L"1 A"));
             CHECK(ts::ValueExists(products.c_str(), L"2 B"));
         }},
        // The rows carry the commands: a value removed under the list changes
        // nothing in this run.
        {"one that deletes the next product's value",
         {{L"1 A", L"--delete-value \"2 B\"", true}, {L"2 B", L"", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"end:A", L"start:B", L"end:B"},
         {L"9 Keep"},
         {false}},
        // The list is loaded once: a product registered meanwhile is not shown.
        {"one that adds new values",
         {{L"1 A", L"--add-value \"0 New\" --add-value \"5 New\"", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"end:A"},
         {L"9 Keep"},
         {false},
         [products](const std::wstring&) { CHECK(ts::ValueExists(products.c_str(), L"5 New")); }},
        {"one that runs for a while",
         {{L"1 A", L"--sleep 1500", true}, {L"2 B", L"", true}, {L"3 C", L"", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"end:A", L"start:B", L"end:B", L"start:C", L"end:C"},
         {L"9 Keep"},
         {false},
         [](const std::wstring& log) {
             for (const auto& line : hostile::ReadLog(log))
                 if (line.kind == L"start") CHECK(!line.overlap);
         }},
        // The pass waits for the uninstaller's own process only: a child it
        // leaves behind may still run while the next uninstaller starts and
        // after the pass has ended.
        {"one that starts a detached child and exits",
         {{L"1 A", L"--spawn-sleep 120000", true}, {L"2 B", L"", true}, {L"9 Keep", L"", false}},
         {L"start:A", L"end:A", L"start:B", L"end:B"},
         {L"9 Keep"},
         {false},
         [](const std::wstring& log) {
             DWORD child = 0;
             // Only stops a hang: the child logs its start on its own time.
             for (int i = 0; i < 600 && !child; ++i) {
                 for (const auto& line : hostile::ReadLog(log))
                     if (line.kind == L"start" && line.id == L"A-child") child = line.pid;
                 if (!child) Sleep(50);
             }
             REQUIRE(child != 0);
             CHECK(Alive(child));
             EndProcess(child);
         }},
    };

    for (const auto& s : scenarios) {
        CAPTURE(s.what);
        ts::ResetFamilyKey();
        DeleteFileW(log.c_str());
        for (const auto& p : s.products) {
            const std::wstring id(p.name + 2);
            const std::wstring command =
                p.missing ? ts::FixturePath(L"missing.exe") + L" --log " + log + L" --id " + id
                          : hostile::RecorderCommand(log, id, p.extra);
            ts::SetString(ts::kUninstallPaths, p.name, command);
        }
        ts::SetDword(ts::kFamily, L"UninstallMode", 1);

        hostile::Window w;
        std::vector<std::wstring> names;
        for (const auto& p : s.products) names.push_back(p.name);
        REQUIRE(Join(w.Captions()) == Join(names));
        for (size_t i = 0; i < s.products.size(); ++i)
            if (s.products[i].ticked) w.ClickRowBox(static_cast<int>(i));

        w.ClickUninstall();

        std::vector<std::wstring> events;
        for (const auto& e : hostile::Events(log))
            if (e.find(L"-child") == std::wstring::npos) events.push_back(e);
        CHECK(Join(events) == Join(s.events));
        CHECK(Join(w.Captions()) == Join(s.rowsLeft));
        CHECK(ts::CheckVector(w.List()) == s.checksLeft);
        CHECK(w.CloseCommandEnabled());
        // Not every product was ticked: the marker went before any start.
        CHECK(!ts::ValueExists(ts::kFamily, L"UninstallMode"));
        for (const auto& line : hostile::ReadLog(log))
            if (line.kind == L"start" && line.id.find(L"-child") == std::wstring::npos) CHECK(line.marker == L"absent");
        // The refresh after the pass: only a row whose start failed stays ticked.
        const auto checks = ts::CheckVector(w.List());
        CHECK(IsWindowEnabled(w.Button()) == (std::count(checks.begin(), checks.end(), true) > 0));
        if (s.more) s.more(log);
    }
    ts::ResetFamilyKey();
}
