// Drives the running program from another process, as a user's tools would:
// it finds the window, reads the list through the list view's own messages
// (with buffers placed in the program's memory) and clicks with posted
// mouse messages. Nothing here links with the program's code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// The main window and its three controls, found by class and caption.
struct AppWindow {
    HWND form = nullptr;
    HWND list = nullptr;
    HWND button = nullptr;
    HWND box = nullptr;
    explicit operator bool() const { return form && list && button && box; }
};

// Waits up to `ms` for a visible main window of process `pid` (0: any).
AppWindow FindAppWindow(DWORD pid, DWORD ms);

// One row as the user sees it.
struct Row {
    std::wstring caption;
    bool checked = false;
    bool operator==(const Row& o) const { return caption == o.caption && checked == o.checked; }
};

// A list view owned by another process.
class RemoteList {
public:
    explicit RemoteList(HWND list);
    ~RemoteList();
    RemoteList(const RemoteList&) = delete;
    RemoteList& operator=(const RemoteList&) = delete;

    int Count() const;
    bool Checked(int index) const;
    std::wstring Caption(int index);
    std::vector<Row> Rows();
    // Client point of the row's check box, and of its label.
    POINT CheckBoxPoint(int index);
    POINT LabelPoint(int index);

private:
    RECT ItemRect(int index, int code);
    HWND list_;
    HANDLE process_ = nullptr;
    void* remote_ = nullptr;  // one page in the owner's memory
};

// Posts a left click at client point `pt` of `hwnd`.
void PostClick(HWND hwnd, POINT pt);
// The centre of a control's client area.
POINT Centre(HWND hwnd);
// Posts a click on the title bar's close button.
void PostCloseButtonClick(HWND form);
// Returns once the window's thread has dispatched a message sent now,
// i.e. once it is back in its message loop; false after `ms`.
bool WaitUntilResponsive(HWND hwnd, DWORD ms);
// The window's client area in screen coordinates.
RECT ClientOnScreen(HWND hwnd);
// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);

std::string Utf8(const std::wstring& w);

// Makes journal.exe (beside the tests) the handler of `scheme` and the
// post-uninstall helper in Documents, both writing to `journal`.
void InstallJournal(const wchar_t* scheme, const std::wstring& journal);
void RemoveJournal(const wchar_t* scheme);

}  // namespace e2e
