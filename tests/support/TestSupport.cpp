#include "TestSupport.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <stdexcept>

namespace ts {

const wchar_t kFamily[] = L"SOFTWARE\\Quillbrook";
const wchar_t kUninstallPaths[] = L"SOFTWARE\\Quillbrook\\UninstallPaths";
const wchar_t kLinks[] = L"SOFTWARE\\Quillbrook\\Links";

namespace {
HKEY CreateKey(const wchar_t* key) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create test key");
    return h;
}
}  // namespace

void DeleteKeyTree(const wchar_t* key) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
}

void ResetFamilyKey() { DeleteKeyTree(kFamily); }

bool KeyExists(const wchar_t* key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

bool ValueExists(const wchar_t* key, const std::wstring& name) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    const bool found = RegQueryValueExW(h, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(h);
    return found;
}

std::vector<std::wstring> ValueNames(const wchar_t* key) {
    std::vector<std::wstring> names;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(name.size());
        if (RegEnumValueW(h, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name.data(), len);
    }
    RegCloseKey(h);
    return names;
}

void SetRaw(const wchar_t* key, const std::wstring& name, DWORD type, const void* data, size_t bytes) {
    HKEY h = CreateKey(key);
    const LONG rc = RegSetValueExW(h, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot set test value");
}

void SetString(const wchar_t* key, const std::wstring& name, const std::wstring& text, DWORD type) {
    SetRaw(key, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void SetDword(const wchar_t* key, const std::wstring& name, DWORD value) {
    SetRaw(key, name, REG_DWORD, &value, sizeof value);
}

bool GetDword(const wchar_t* key, const std::wstring& name, DWORD& value) {
    DWORD size = sizeof value;
    DWORD type = 0;
    return RegGetValueW(HKEY_LOCAL_MACHINE, key, name.c_str(), RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

long HandleCount() {
    // One entry of the system handle table, as ntdll reports it.
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const ULONG kSystemHandleInformation = 16;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<BYTE> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) return -1;
        break;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    long mine = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].ownerPid == GetCurrentProcessId()) ++mine;
    return mine;
}

void PumpMessages(DWORD quietMs) {
    DWORD quietSince = GetTickCount();
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            quietSince = GetTickCount();
            continue;
        }
        if (GetTickCount() - quietSince >= quietMs) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void PostClick(HWND hwnd, int x, int y, bool doubleClick) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    if (doubleClick) {
        PostMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    }
}

namespace {
RECT ItemRect(HWND list, int index, int code) {
    RECT rc{};
    rc.left = code;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
    return rc;
}
}  // namespace

POINT RowCheckBoxPoint(HWND list, int index) {
    // The box sits between the row's left edge and its label.
    const RECT bounds = ItemRect(list, index, LVIR_BOUNDS);
    const RECT label = ItemRect(list, index, LVIR_LABEL);
    return POINT{(bounds.left + label.left) / 2, (bounds.top + bounds.bottom) / 2};
}

POINT RowTextPoint(HWND list, int index) {
    const RECT label = ItemRect(list, index, LVIR_LABEL);
    return POINT{label.left + 10, (label.top + label.bottom) / 2};
}

bool RowChecked(HWND list, int index) {
    const auto state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

std::vector<bool> CheckVector(HWND list) {
    std::vector<bool> v;
    const int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) v.push_back(RowChecked(list, i));
    return v;
}

bool ButtonChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::wstring ProgramPath() {
#ifdef UNINSTALL_EXE
    // Set by the build to the unix path of the test build's program.
    wchar_t* dos = nullptr;
    auto toDos = reinterpret_cast<wchar_t* (*)(const char*)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos && (dos = toDos(UNINSTALL_EXE))) {
        std::wstring s(dos);
        HeapFree(GetProcessHeap(), 0, dos);
        return s;
    }
#endif
    return ExeDir() + L"..\\Uninstall.exe";
}

std::wstring HelperPath() {
    wchar_t docs[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, docs);
    return std::wstring(docs) + L"\\Quillbrook\\QbkUninstall.exe";
}

std::wstring FixturePath(const wchar_t* name) { return ExeDir() + name; }

std::wstring ScratchDir(const wchar_t* tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"uninstall-tests\\" + tag;
    CreateDirectoryW((std::wstring(temp) + L"uninstall-tests").c_str(), nullptr);
    // Clear earlier contents file by file (no shell needed).
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW((dir + L"\\" + n).c_str());
            else
                DeleteFileW((dir + L"\\" + n).c_str());
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

std::wstring ReadTextFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::wstring();
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) bytes.append(buf, got);
    CloseHandle(f);
    const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    if (n) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    return text;
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::vector<std::wstring> lines;
    const std::wstring text = ReadTextFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::wstring> WaitForLines(const std::wstring& path, const std::wstring& prefix, size_t count, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<std::wstring> found;
        for (const auto& l : ReadLines(path))
            if (l.compare(0, prefix.size(), prefix) == 0) found.push_back(l);
        if (found.size() >= count || GetTickCount() - start > ms) return found;
        Sleep(50);
    }
}

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

bool PathIsFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

Process::Process(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::vector<wchar_t> buf(commandLine.begin(), commandLine.end());
    buf.push_back(0);
    if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) pi_ = {};
}

Process::~Process() {
    if (pi_.hProcess) {
        if (ExitCode() == STILL_ACTIVE) Kill();
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
}

bool Process::Wait(DWORD ms) { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (pi_.hProcess) GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

void Process::Kill() {
    if (pi_.hProcess) {
        TerminateProcess(pi_.hProcess, 255);
        WaitForSingleObject(pi_.hProcess, 5000);
    }
}

namespace {
struct FindState {
    DWORD pid;
    const wchar_t* cls;
    const wchar_t* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
    auto* st = reinterpret_cast<FindState*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != st->pid || !IsWindowVisible(hwnd)) return TRUE;
    if (st->cls && ClassName(hwnd) != st->cls) return TRUE;
    if (st->caption && WindowText(hwnd) != st->caption) return TRUE;
    st->found.push_back(hwnd);
    return TRUE;
}
}  // namespace

std::vector<HWND> VisibleWindows(DWORD pid) {
    FindState st{pid, nullptr, nullptr, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&st));
    return st.found;
}

HWND WaitForWindow(DWORD pid, const wchar_t* cls, const wchar_t* caption, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        FindState st{pid, cls, caption, {}};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&st));
        if (!st.found.empty()) return st.found.front();
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(20);
    }
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096);
    return text;
}

void DismissMessageBox(HWND box) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

std::wstring WindowText(HWND hwnd) {
    wchar_t text[1024] = {};
    GetWindowTextW(hwnd, text, 1024);
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t cls[256] = {};
    GetClassNameW(hwnd, cls, 256);
    return cls;
}

HWND ChildOfClass(HWND parent, const wchar_t* cls, int nth) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassName(c) == cls && nth-- == 0) return c;
    }
    return nullptr;
}

}  // namespace ts
