#include "Driver.h"

#include <commctrl.h>

#include "TestSupport.h"

namespace e2e {

namespace {
struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if ((s->pid && pid != s->pid) || !IsWindowVisible(hwnd)) return TRUE;
    if (ts::ClassName(hwnd) != L"TfrmMain" || ts::WindowText(hwnd) != L"Uninstall") return TRUE;
    s->found = hwnd;
    return FALSE;
}

constexpr SIZE_T kPage = 4096;
constexpr SIZE_T kTextOffset = 512;
constexpr int kTextChars = 1024;
}  // namespace

AppWindow FindAppWindow(DWORD pid, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        Search s{pid, nullptr};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
        if (s.found) {
            AppWindow w;
            w.form = s.found;
            w.list = ts::ChildOfClass(s.found, L"SysListView32", 0);
            w.button = ts::ChildOfClass(s.found, L"Button", 0);
            w.box = ts::ChildOfClass(s.found, L"Button", 1);
            if (w) return w;
        }
        if (GetTickCount() - start > ms) return AppWindow{};
        Sleep(20);
    }
}

RemoteList::RemoteList(HWND list) : list_(list) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) remote_ = VirtualAllocEx(process_, nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteList::~RemoteList() {
    if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

int RemoteList::Count() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

bool RemoteList::Checked(int index) const {
    const auto state =
        static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

std::wstring RemoteList::Caption(int index) {
    if (!remote_) return L"<no access>";
    auto* base = static_cast<char*>(remote_);
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = reinterpret_cast<wchar_t*>(base + kTextOffset);
    item.cchTextMax = kTextChars;
    WriteProcessMemory(process_, base, &item, sizeof item, nullptr);
    const auto n = static_cast<int>(
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(base)));
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ReadProcessMemory(process_, base + kTextOffset, &text[0], n * sizeof(wchar_t), nullptr);
    return text;
}

std::vector<Row> RemoteList::Rows() {
    std::vector<Row> rows;
    const int n = Count();
    for (int i = 0; i < n; ++i) rows.push_back(Row{Caption(i), Checked(i)});
    return rows;
}

RECT RemoteList::ItemRect(int index, int code) {
    RECT rc{};
    if (!remote_) return rc;
    rc.left = code;
    WriteProcessMemory(process_, remote_, &rc, sizeof rc, nullptr);
    SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote_));
    ReadProcessMemory(process_, remote_, &rc, sizeof rc, nullptr);
    return rc;
}

POINT RemoteList::CheckBoxPoint(int index) {
    // The box sits between the row's left edge and its label.
    const RECT bounds = ItemRect(index, LVIR_BOUNDS);
    const RECT label = ItemRect(index, LVIR_LABEL);
    return POINT{(bounds.left + label.left) / 2, (bounds.top + bounds.bottom) / 2};
}

POINT RemoteList::LabelPoint(int index) {
    const RECT label = ItemRect(index, LVIR_LABEL);
    return POINT{label.left + 10, (label.top + label.bottom) / 2};
}

void PostClick(HWND hwnd, POINT pt) {
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

POINT Centre(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    return POINT{rc.right / 2, rc.bottom / 2};
}

void PostCloseButtonClick(HWND form) {
    RECT window, client = ClientOnScreen(form);
    GetWindowRect(form, &window);
    // Walk the caption from the right edge until the frame reports the
    // close button there.
    const int y = (window.top + client.top) / 2;
    for (int x = window.right - 1; x > client.left; --x) {
        const LRESULT hit = SendMessageW(form, WM_NCHITTEST, 0, MAKELPARAM(x, y));
        if (hit != HTCLOSE) continue;
        PostMessageW(form, WM_NCLBUTTONDOWN, HTCLOSE, MAKELPARAM(x, y));
        POINT pt{x, y};
        ScreenToClient(form, &pt);
        PostMessageW(form, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
        return;
    }
}

bool WaitUntilResponsive(HWND hwnd, DWORD ms) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, ms, &result) != 0;
}

RECT ClientOnScreen(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

RECT RectInParent(HWND child) {
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::string Utf8(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    if (n) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

void InstallJournal(const wchar_t* scheme, const std::wstring& journal) {
    const std::wstring journalExe = ts::FixturePath(L"journal.exe");
    const std::wstring classes = std::wstring(L"SOFTWARE\\Classes\\") + scheme;
    ts::SetString(classes.c_str(), L"URL Protocol", L"");
    ts::SetString((classes + L"\\shell\\open\\command").c_str(), L"", L"\"" + journalExe + L"\" link \"%1\"");
    const std::wstring helper = ts::HelperPath();
    CreateDirectoryW(helper.substr(0, helper.find_last_of(L'\\')).c_str(), nullptr);
    CopyFileW(journalExe.c_str(), helper.c_str(), FALSE);
    SetEnvironmentVariableW(L"QBK_JOURNAL", journal.c_str());
}

void RemoveJournal(const wchar_t* scheme) {
    DeleteFileW(ts::HelperPath().c_str());
    ts::DeleteKeyTree((std::wstring(L"SOFTWARE\\Classes\\") + scheme).c_str());
}

}  // namespace e2e
