#include "Hostile.h"

namespace hostile {

namespace {
void Click(HWND hwnd, POINT at) {
    ts::PostClick(hwnd, at.x, at.y);
    ts::PumpMessages();
}

POINT Centre(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    return POINT{rc.right / 2, rc.bottom / 2};
}

std::vector<std::wstring> Split(const std::wstring& line, wchar_t sep, size_t maxParts) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        const size_t at = line.find(sep, start);
        if (at == std::wstring::npos) break;
        parts.push_back(line.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(line.substr(start));
    return parts;
}

const wchar_t kAeDebug[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
const wchar_t kWineDbg[] = L"Software\\Wine\\WineDbg";
}  // namespace

Window::Window() {
    ts::EnsureApplication();
    form_ = new TfrmMain(Application);
    form_->Show();
    ts::PumpMessages();
}

Window::~Window() {
    delete form_;
    ts::PumpMessages();
}

void Window::ClickRowBox(int index) { Click(List(), ts::RowCheckBoxPoint(List(), index)); }
void Window::ClickRowText(int index) { Click(List(), ts::RowTextPoint(List(), index)); }
void Window::ClickAll() { Click(All(), Centre(All())); }
void Window::ClickUninstall() { Click(Button(), Centre(Button())); }

std::vector<std::wstring> Window::Captions() {
    std::vector<std::wstring> v;
    for (int i = 0; i < form_->lvApp->Count(); ++i) v.push_back(form_->lvApp->Item(i).Caption());
    return v;
}

std::vector<std::wstring> Window::Commands() {
    std::vector<std::wstring> v;
    for (int i = 0; i < form_->lvApp->Count(); ++i) {
        TStrings& sub = form_->lvApp->Item(i).SubItems();
        v.push_back(sub.Count() ? sub[0] : L"<none>");
    }
    return v;
}

bool Window::CloseCommandEnabled() const {
    const UINT state = GetMenuState(GetSystemMenu(form_->Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_DISABLED | MF_GRAYED));
}

std::wstring RecorderCommand(const std::wstring& log, const std::wstring& id, const std::wstring& extra) {
    std::wstring command = ts::FixturePath(L"recorder.exe") + L" --log " + log + L" --id " + id;
    if (!extra.empty()) command += L" " + extra;
    return command;
}

std::vector<LogLine> ReadLog(const std::wstring& path) {
    std::vector<LogLine> lines;
    for (const auto& text : ts::ReadLines(path)) {
        const auto parts = Split(text, L'\t', 6);
        LogLine line;
        line.kind = parts[0];
        if (parts.size() > 1) line.id = parts[1];
        if (parts.size() > 2) line.pid = static_cast<DWORD>(_wtoi(parts[2].c_str()));
        if (parts.size() > 3) line.marker = parts[3];
        if (parts.size() > 4) line.overlap = parts[4] == L"1";
        if (parts.size() > 5) line.commandLine = parts[5];
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::wstring> Events(const std::wstring& path) {
    std::vector<std::wstring> events;
    for (const auto& line : ReadLog(path)) events.push_back(line.kind + L":" + line.id);
    return events;
}

bool RunPlain(const std::wstring& commandLine, const std::wstring& currentDir, DWORD& exitCode) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi))
        return false;
    // Generous: only stops a hang.
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 255);
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool CopyTo(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE); }

void MakeDirs(const std::wstring& dir) {
    for (size_t at = dir.find(L'\\', 3); at != std::wstring::npos; at = dir.find(L'\\', at + 1))
        CreateDirectoryW(dir.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(dir.c_str(), nullptr);
}

QuietCrashes::QuietCrashes() {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    hadDebugger_ =
        RegGetValueW(HKEY_LOCAL_MACHINE, kAeDebug, L"Debugger", RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS;
    if (hadDebugger_) debugger_ = text;
    hadShowDialog_ = ts::GetDword(kWineDbg, L"ShowCrashDialog", showDialog_);
    // Without a debugger to start, an unhandled exception just ends the
    // process, as it does on Windows with error reporting off.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAeDebug, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Debugger");
        RegCloseKey(key);
    }
    DWORD zero = 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, kWineDbg, L"ShowCrashDialog", REG_DWORD, &zero, sizeof zero);
}

QuietCrashes::~QuietCrashes() {
    if (hadDebugger_)
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kAeDebug, L"Debugger", REG_SZ, debugger_.c_str(),
                        static_cast<DWORD>((debugger_.size() + 1) * sizeof(wchar_t)));
    if (hadShowDialog_) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kWineDbg, L"ShowCrashDialog", REG_DWORD, &showDialog_, sizeof showDialog_);
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineDbg, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"ShowCrashDialog");
            RegCloseKey(key);
        }
    }
}

}  // namespace hostile
