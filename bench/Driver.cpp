// Starts programs in this Wine prefix and measures them from the outside,
// the same way for the product and for its floors. Each command prints
// "RESULT <key> <value>" lines (medians over the runs) for bench/run.sh.
//
//   fill N PROGRAM LINK          registers N products "Product k" -> "PROGRAM k"
//                                and points the farewell link at LINK
//   startup APP BARE ROWS RUNS   start to window shown, exit time and peak
//                                memory, product and bare window in turns
//   regloop RUNS                 the raw registry loop over the product key
//   pass APP PROGRAM ROWS RUNS   a pass over ROWS ticked rows, and the raw
//                                start-and-wait loop over the same commands
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
const wchar_t kFamilyKey[] = L"SOFTWARE\\Quillbrook";
const wchar_t kProductsKey[] = L"SOFTWARE\\Quillbrook\\UninstallPaths";
const wchar_t kLinksKey[] = L"SOFTWARE\\Quillbrook\\Links";
const wchar_t kAppClass[] = L"TfrmMain";
const wchar_t kBareClass[] = L"BareWindow";
const DWORD kStartTimeoutMs = 120000;
const DWORD kPassTimeoutMs = 600000;

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

[[noreturn]] void Fail(const std::wstring& what) {
    fwprintf(stderr, L"bench_driver: %ls\n", what.c_str());
    exit(2);
}

void Result(const std::string& key, double value) { printf("RESULT %s %.3f\n", key.c_str(), value); }

class Key {
public:
    Key(HKEY root, const wchar_t* path, REGSAM access, bool create) {
        const LONG rc = create ? RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &key_, nullptr)
                               : RegOpenKeyExW(root, path, 0, access, &key_);
        if (rc != ERROR_SUCCESS) Fail(std::wstring(L"cannot open ") + path);
    }
    ~Key() { RegCloseKey(key_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

void SetString(HKEY key, const std::wstring& name, const std::wstring& data) {
    if (RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        Fail(L"cannot write " + name);
}

std::wstring Command(const std::wstring& program, int k) { return program + L" " + std::to_wstring(k); }

void Fill(int count, const std::wstring& program, const std::wstring& link) {
    {
        Key family(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS, true);
        RegDeleteTreeW(family.get(), L"UninstallPaths");
    }
    Key products(HKEY_LOCAL_MACHINE, kProductsKey, KEY_ALL_ACCESS, true);
    for (int k = 1; k <= count; ++k) SetString(products.get(), L"Product " + std::to_wstring(k), Command(program, k));
    Key links(HKEY_LOCAL_MACHINE, kLinksKey, KEY_ALL_ACCESS, true);
    SetString(links.get(), L"Uninstall", link);
}

// A started program, killed if a measurement gives up on it.
class Child {
public:
    explicit Child(const std::wstring& exe) {
        std::wstring line = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = NowMs();
        if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
            Fail(L"cannot start " + exe);
    }
    ~Child() {
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    double Started() const { return started_; }
    DWORD Pid() const { return pi_.dwProcessId; }
    HANDLE Process() const { return pi_.hProcess; }
    bool Exited() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION pi_{};
    double started_ = 0;
};

HWND VisibleWindowOf(const Child& child, const wchar_t* cls) {
    for (HWND w = FindWindowExW(nullptr, nullptr, cls, nullptr); w; w = FindWindowExW(nullptr, w, cls, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == child.Pid() && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

bool Ask(HWND hwnd, UINT msg, LRESULT& answer) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, 0, 0, SMTO_ABORTIFHUNG, 200, &result)) return false;
    answer = static_cast<LRESULT>(result);
    return true;
}

// Shown: the window is visible and its thread answers messages, and for the
// product the list reports all its rows.
HWND WaitShown(const Child& child, const wchar_t* cls, int rows) {
    for (;;) {
        if (HWND w = VisibleWindowOf(child, cls)) {
            LRESULT answer = 0;
            if (rows < 0) {
                if (Ask(w, WM_NULL, answer)) return w;
            } else if (HWND list = FindWindowExW(w, nullptr, WC_LISTVIEWW, nullptr)) {
                if (Ask(list, LVM_GETITEMCOUNT, answer) && answer == rows) return w;
            }
        }
        if (child.Exited()) Fail(L"the program ended before its window was shown");
        if (NowMs() - child.Started() > kStartTimeoutMs) Fail(L"no window within the time-out");
        Sleep(1);
    }
}

struct StartFigures {
    double shownMs, exitMs, peakWorkingSetKb, peakPagefileKb;
};

StartFigures MeasureStart(const std::wstring& exe, const wchar_t* cls, int rows) {
    Child child(exe);
    HWND window = WaitShown(child, cls, rows);
    StartFigures f{};
    f.shownMs = NowMs() - child.Started();
    // Let the first paint happen, so memory counts a window as the user sees it.
    Sleep(300);
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (!GetProcessMemoryInfo(child.Process(), &pmc, sizeof pmc)) Fail(L"no memory figures");
    f.peakWorkingSetKb = static_cast<double>(pmc.PeakWorkingSetSize) / 1024;
    f.peakPagefileKb = static_cast<double>(pmc.PeakPagefileUsage) / 1024;
    const double closing = NowMs();
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(child.Process(), kStartTimeoutMs) != WAIT_OBJECT_0) Fail(L"the window did not close");
    f.exitMs = NowMs() - closing;
    return f;
}

void Startup(const std::wstring& app, const std::wstring& bare, int rows, int runs) {
    std::vector<StartFigures> a, b;
    for (int r = 0; r < runs; ++r) {
        b.push_back(MeasureStart(bare, kBareClass, -1));
        a.push_back(MeasureStart(app, kAppClass, rows));
    }
    auto report = [rows](const char* who, const std::vector<StartFigures>& v) {
        auto median = [&v](double StartFigures::*field) {
            std::vector<double> values;
            for (const auto& f : v) values.push_back(f.*field);
            return Median(values);
        };
        const std::string suffix = std::string(who) + "." + std::to_string(rows);
        Result("start." + suffix, median(&StartFigures::shownMs));
        Result("exit." + suffix, median(&StartFigures::exitMs));
        Result("peak_ws_kb." + suffix, median(&StartFigures::peakWorkingSetKb));
        Result("peak_pagefile_kb." + suffix, median(&StartFigures::peakPagefileKb));
    };
    report("app", a);
    report("bare", b);
}

// The least work that reads every product: one open, then each value's
// name and data in enumeration order.
double RegistryLoopOnce(DWORD& values) {
    const double t0 = NowMs();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) Fail(L"no product key");
    DWORD count = 0, maxName = 0, maxData = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, &maxData, nullptr,
                     nullptr);
    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + sizeof(wchar_t));
    values = 0;
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLen = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key, i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        if (RegQueryValueExW(key, name.data(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) ++values;
    }
    RegCloseKey(key);
    return NowMs() - t0;
}

void RegistryLoop(int runs) {
    std::vector<double> times;
    DWORD values = 0;
    for (int r = 0; r < runs; ++r) times.push_back(RegistryLoopOnce(values));
    Result("regloop." + std::to_string(values), Median(times));
}

// The least work that runs the commands: start each, wait for it, close it.
double SpawnLoopOnce(const std::wstring& program, int rows) {
    const double t0 = NowMs();
    for (int k = 1; k <= rows; ++k) {
        std::wstring line = Command(program, k) + L" /silent";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        // A loaded machine makes Wine fail a start now and then; the retry
        // is reported, as the product would skip that row instead.
        int tries = 0;
        while (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            fwprintf(stderr, L"bench_driver: start of %ls failed (error %lu)\n", line.c_str(), GetLastError());
            if (++tries == 3) Fail(L"cannot start " + line);
        }
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return NowMs() - t0;
}

std::wstring MessageBoxTextOf(const Child& child) {
    HWND box = VisibleWindowOf(child, L"#32770");
    if (!box) return std::wstring();
    wchar_t text[512] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    return text[0] ? text : L"(a dialog)";
}

struct PassFigures {
    double shownMs, passMs;
};

// Ticks "All applications", presses Uninstall and times until the process
// has ended: the pass, then the finishing actions and the process's exit.
PassFigures MeasurePass(const std::wstring& app, int rows) {
    Child child(app);
    HWND window = WaitShown(child, kAppClass, rows);
    PassFigures f{};
    f.shownMs = NowMs() - child.Started();
    HWND box = FindWindowExW(window, nullptr, L"Button", L"All applications");
    HWND button = FindWindowExW(window, nullptr, L"Button", L"Uninstall");
    if (!box || !button) Fail(L"controls not found");
    PostMessageW(box, BM_CLICK, 0, 0);
    for (LRESULT state = 0; !(Ask(box, BM_GETCHECK, state) && state == BST_CHECKED && IsWindowEnabled(button));)
        Sleep(1);
    RECT rc;
    GetClientRect(button, &rc);
    const LPARAM at = MAKELPARAM(rc.right / 2, rc.bottom / 2);
    const double t0 = NowMs();
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(button, WM_LBUTTONUP, 0, at);
    HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    for (int polls = 1; WaitForSingleObject(child.Process(), 20) == WAIT_TIMEOUT; ++polls) {
        // The window answers again only once the pass is over: rows left
        // mean some starts failed, and the program stays open.
        LRESULT left = 0;
        if (polls % 25 == 0 && Ask(list, LVM_GETITEMCOUNT, left) && left > 0)
            Fail(L"the pass ended with " + std::to_wstring(left) + L" rows left (failed starts)");
        const std::wstring text = MessageBoxTextOf(child);
        if (!text.empty()) Fail(L"a message box appeared during the pass: " + text);
        if (NowMs() - t0 > kPassTimeoutMs) Fail(L"the pass did not end within the time-out");
    }
    f.passMs = NowMs() - t0;
    return f;
}

void Pass(const std::wstring& app, const std::wstring& program, int rows, int runs) {
    std::vector<double> raw, pass, shown;
    for (int r = 0; r < runs; ++r) {
        raw.push_back(SpawnLoopOnce(program, rows));
        const PassFigures f = MeasurePass(app, rows);
        pass.push_back(f.passMs);
        shown.push_back(f.shownMs);
    }
    const std::string n = std::to_string(rows);
    Result("raw_spawn." + n, Median(raw));
    Result("pass." + n, Median(pass));
    Result("pass_start." + n, Median(shown));
}

int Int(const wchar_t* text) { return static_cast<int>(wcstol(text, nullptr, 10)); }
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"fill" && argc == 5) {
        Fill(Int(argv[2]), argv[3], argv[4]);
    } else if (command == L"startup" && argc == 6) {
        Startup(argv[2], argv[3], Int(argv[4]), Int(argv[5]));
    } else if (command == L"regloop" && argc == 3) {
        RegistryLoop(Int(argv[2]));
    } else if (command == L"pass" && argc == 6) {
        Pass(argv[2], argv[3], Int(argv[4]), Int(argv[5]));
    } else {
        fwprintf(stderr, L"usage: bench_driver fill|startup|regloop|pass ... (see the source's header)\n");
        return 1;
    }
    fflush(stdout);
    return 0;
}
