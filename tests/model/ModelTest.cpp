// Random product keys and random click sequences on the real window, checked
// after every step against a small model of the selection and pass rules.
// A fixed range of seeds by default; UNINSTALL_MODEL_SEED=N (and
// UNINSTALL_MODEL_RUNS=K) run seeds N..N+K-1 instead. A failure prints its
// seed and the shortest step list that still fails.
#include <doctest/doctest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <sstream>

#include "Hostile.h"

namespace {

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c >= 32 && c < 128 ? static_cast<char>(c) : '?';
    return s;
}

struct Product {
    std::wstring name;
    std::wstring command;
    DWORD type;
    bool startable;
};

struct Scenario {
    std::vector<Product> products;
    bool markerAtStart;
};

enum class Kind { ClickBox, ClickText, ClickAll, Press };
struct Action {
    Kind kind;
    unsigned pick;  // the row is pick modulo the rows present then
};

std::string Describe(const Action& a) {
    switch (a.kind) {
    case Kind::ClickBox: return "box(" + std::to_string(a.pick) + ")";
    case Kind::ClickText: return "text(" + std::to_string(a.pick) + ")";
    case Kind::ClickAll: return "all";
    case Kind::Press: return "uninstall";
    }
    return "?";
}

std::wstring LogPath() {
    static const std::wstring log = ts::ScratchDir(L"model") + L"log.txt";
    return log;
}

Scenario MakeScenario(std::mt19937& rng) {
    Scenario s;
    s.markerAtStart = rng() % 2;
    const std::wstring log = LogPath();
    // Few distinct commands, so that rows share them; "A" and "a" differ.
    const std::vector<std::wstring> ids = {L"a", L"b", L"c", L"A"};
    std::set<std::wstring> names;
    const int count = 1 + static_cast<int>(rng() % 5);
    while (static_cast<int>(names.size()) < count) {
        std::wstring name = L"P";
        for (unsigned i = 0, n = 1 + rng() % 3; i < n; ++i) name += static_cast<wchar_t>(L'a' + rng() % 4);
        names.insert(name);
    }
    for (const auto& name : names) {
        Product p{name, L"", rng() % 4 == 0 ? DWORD(REG_EXPAND_SZ) : DWORD(REG_SZ), true};
        const unsigned kind = rng() % 8;
        if (kind == 0) {
            p.command = L"";  // never started, never removed
        } else if (kind == 1) {
            p.command = ts::FixturePath(L"missing.exe") + L" --log " + log + L" --id m";
            p.startable = false;
        } else {
            p.command = hostile::RecorderCommand(log, ids[rng() % ids.size()]);
        }
        s.products.push_back(p);
    }
    // Keeps a row after any pass, so the program never finishes in-process.
    s.products.push_back({L"Keep", L"", REG_SZ, true});
    if (rng() % 3 == 0) s.products.push_back({L"Common", L"never listed", REG_SZ, true});
    return s;
}

std::vector<Action> MakeActions(std::mt19937& rng, int steps) {
    std::vector<Action> actions;
    for (int i = 0; i < steps; ++i) {
        const unsigned r = rng() % 10;
        const Kind kind = r < 5 ? Kind::ClickBox : r < 6 ? Kind::ClickText : r < 8 ? Kind::ClickAll : Kind::Press;
        actions.push_back({kind, static_cast<unsigned>(rng() % 16)});
    }
    return actions;
}

// The reference model: rows and controls as the selection and pass rules
// say they must be.
struct Model {
    struct Row {
        std::wstring name, command;
        bool startable, checked;
    };
    std::vector<Row> rows;
    bool allChecked = false, allEnabled = true, buttonEnabled = true, marker = false;
    std::vector<std::wstring> runs;  // command lines, in order
    std::vector<std::wstring> runMarkers;

    void Refresh() {
        int count = 0;
        for (const auto& r : rows)
            if (r.checked) {
                buttonEnabled = allEnabled = true;
                ++count;
            }
        allChecked = count == static_cast<int>(rows.size());
        buttonEnabled = count > 0;
        if (rows.empty()) allChecked = allEnabled = false;
    }
    void ClickAll() {
        allChecked = !allChecked;
        for (auto& r : rows) r.checked = allChecked;
        buttonEnabled = allChecked;
    }
    void Pass() {
        bool all = true;
        for (const auto& r : rows) all = all && r.checked;
        marker = all;
        std::set<std::wstring> launched;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!rows[i].checked || rows[i].command.empty()) continue;
            if (launched.count(rows[i].command)) {
                rows.erase(rows.begin() + static_cast<long>(i--));
                continue;
            }
            launched.insert(rows[i].command);
            if (!rows[i].startable) continue;
            runs.push_back(rows[i].command + L" /silent");
            runMarkers.push_back(marker ? L"1" : L"absent");
            rows.erase(rows.begin() + static_cast<long>(i--));
        }
        Refresh();
    }
};

void WriteScenario(const Scenario& s) {
    ts::ResetFamilyKey();
    DeleteFileW(LogPath().c_str());
    for (const auto& p : s.products) ts::SetString(ts::kUninstallPaths, p.name, p.command, p.type);
    if (s.markerAtStart) ts::SetDword(ts::kFamily, L"UninstallMode", 1);
}

// The rows the program must show, in the registry's own order.
std::vector<Model::Row> ExpectedRows(const Scenario& s) {
    std::vector<Model::Row> rows;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ts::kUninstallPaths, 0, KEY_READ, &key) != ERROR_SUCCESS) return rows;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumValueW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        for (const auto& p : s.products)
            if (p.name == name && p.name != L"Common") rows.push_back({p.name, p.command, p.startable, false});
    }
    RegCloseKey(key);
    return rows;
}

// Compares the real window with the model; "" when they agree.
std::string Compare(hostile::Window& w, const Model& m) {
    std::ostringstream out;
    std::vector<std::wstring> names;
    std::vector<bool> checks;
    for (const auto& r : m.rows) {
        names.push_back(r.name);
        checks.push_back(r.checked);
    }
    if (w.Captions() != names) out << "rows differ; ";
    else if (w.Commands() != [&] {
                 std::vector<std::wstring> c;
                 for (const auto& r : m.rows) c.push_back(r.command);
                 return c;
             }())
        out << "commands differ; ";
    if (ts::CheckVector(w.List()) != checks) out << "check marks differ; ";
    if (ts::ButtonChecked(w.All()) != m.allChecked) out << "\"All applications\" checked=" << !m.allChecked << "; ";
    if ((IsWindowEnabled(w.All()) != FALSE) != m.allEnabled) out << "\"All applications\" enabled=" << !m.allEnabled << "; ";
    if ((IsWindowEnabled(w.Button()) != FALSE) != m.buttonEnabled) out << "Uninstall enabled=" << !m.buttonEnabled << "; ";
    if (ts::ValueExists(ts::kFamily, L"UninstallMode") != m.marker) out << "marker present=" << !m.marker << "; ";
    if (!w.CloseCommandEnabled()) out << "Close disabled; ";
    std::vector<std::wstring> runs, markers;
    for (const auto& line : hostile::ReadLog(LogPath())) {
        if (line.kind != L"start") continue;
        runs.push_back(line.commandLine);
        markers.push_back(line.marker);
        if (line.overlap) out << "uninstallers overlapped; ";
    }
    if (runs != m.runs) {
        out << "commands run: [";
        for (const auto& r : runs) out << Narrow(r.substr(r.find(L"--id"))) << ", ";
        out << "] expected [";
        for (const auto& r : m.runs) out << Narrow(r.substr(r.find(L"--id"))) << ", ";
        out << "]; ";
    } else if (markers != m.runMarkers) {
        out << "marker seen by an uninstaller differs; ";
    }
    return out.str();
}

// Runs the actions from a fresh start; "" when every step matched the model,
// else the first difference.
std::string Run(const Scenario& s, const std::vector<Action>& actions) {
    WriteScenario(s);
    Model m;
    m.rows = ExpectedRows(s);
    m.marker = s.markerAtStart;
    m.Refresh();
    hostile::Window w;
    std::string diff = Compare(w, m);
    if (!diff.empty()) return "after loading: " + diff;
    for (size_t step = 0; step < actions.size(); ++step) {
        const Action& a = actions[step];
        const int row = m.rows.empty() ? -1 : static_cast<int>(a.pick % m.rows.size());
        switch (a.kind) {
        case Kind::ClickBox:
            if (row < 0) break;
            w.ClickRowBox(row);
            m.rows[static_cast<size_t>(row)].checked = !m.rows[static_cast<size_t>(row)].checked;
            m.Refresh();
            break;
        case Kind::ClickText:
            if (row < 0) break;
            w.ClickRowText(row);
            m.Refresh();
            break;
        case Kind::ClickAll:
            // A user cannot click a disabled control; posted input could.
            if (!m.allEnabled) break;
            w.ClickAll();
            m.ClickAll();
            break;
        case Kind::Press:
            if (!m.buttonEnabled) break;
            w.ClickUninstall();
            m.Pass();
            break;
        }
        diff = Compare(w, m);
        if (!diff.empty()) return "after step " + std::to_string(step + 1) + " " + Describe(a) + ": " + diff;
    }
    return "";
}

std::string DescribeScenario(const Scenario& s) {
    std::ostringstream out;
    out << "marker " << (s.markerAtStart ? "present" : "absent") << "; products:";
    for (const auto& p : s.products) {
        out << " " << Narrow(p.name) << "=";
        if (p.command.empty()) out << "\"\"";
        else if (!p.startable) out << "missing";
        else out << Narrow(p.command.substr(p.command.find(L"--id") + 5));
        if (p.type == REG_EXPAND_SZ) out << "(expand)";
    }
    return out.str();
}

unsigned EnvNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text && *text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}
}  // namespace

TEST_CASE("random products and clicks follow the selection and pass rules") {
    const bool chosen = std::getenv("UNINSTALL_MODEL_SEED") != nullptr;
    const unsigned first = EnvNumber("UNINSTALL_MODEL_SEED", 1);
    const unsigned runs = EnvNumber("UNINSTALL_MODEL_RUNS", chosen ? 1 : 8);
    for (unsigned seed = first; seed < first + runs; ++seed) {
        std::mt19937 rng(seed);
        const Scenario scenario = MakeScenario(rng);
        std::vector<Action> actions = MakeActions(rng, 14);
        std::string failure = Run(scenario, actions);
        if (failure.empty()) continue;
        // Shrink: drop single steps while the run still fails.
        for (bool dropped = true; dropped;) {
            dropped = false;
            for (size_t i = 0; i < actions.size(); ++i) {
                std::vector<Action> fewer = actions;
                fewer.erase(fewer.begin() + static_cast<long>(i));
                const std::string again = Run(scenario, fewer);
                if (again.empty()) continue;
                actions = fewer;
                failure = again;
                dropped = true;
                break;
            }
        }
        std::string steps;
        for (const auto& a : actions) steps += (steps.empty() ? "" : ", ") + Describe(a);
        FAIL_CHECK("seed " << seed << " (UNINSTALL_MODEL_SEED=" << seed << ")\n  " << DescribeScenario(scenario)
                           << "\n  shortest steps: [" << steps << "]\n  " << failure);
    }
    ts::ResetFamilyKey();
}
