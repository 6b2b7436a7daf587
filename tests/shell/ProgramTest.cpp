// The real program (the test build's Uninstall.exe) started as a user starts
// it: where its window appears, who owns it, how it closes, and that Enter in
// the list starts nothing.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "ShellSupport.h"
#include "TestSupport.h"

namespace {
// Long enough only to stop a hang; nothing here waits for a time to pass.
const DWORD kHang = 30000;

// Three products whose uninstaller is the recorder, all writing to `log`.
void RegisterProducts(const std::wstring& log) {
    ts::ResetFamilyKey();
    for (const wchar_t* id : {L"Alpha", L"Beta", L"Gamma"}) {
        ts::SetString(ts::kUninstallPaths, id,
                      L"\"" + ts::FixturePath(L"recorder.exe") + L"\" --log \"" + log + L"\" --id " + id);
    }
}

template <typename Pred>
bool WaitUntil(Pred pred) {
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > kHang) return false;
        Sleep(10);
    }
    return true;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Real keyboard input, delivered to the foreground window's focus.
void Keys(std::initializer_list<std::pair<WORD, bool>> strokes) {
    std::vector<INPUT> in;
    for (const auto& s : strokes) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = s.first;
        i.ki.dwFlags = s.second ? 0 : KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}
void Press(WORD vk) { Keys({{vk, true}, {vk, false}}); }

// A real left click at screen point `at`.
void ClickScreen(POINT at) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3] = {};
    for (auto& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = MulDiv(at.x, 65535, w - 1);
        i.mi.dy = MulDiv(at.y, 65535, h - 1);
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, in, sizeof(INPUT));
}

// The screen point of the window's close button, found by asking the window
// itself what lies under each point of its title bar.
POINT CloseButtonPoint(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    for (int y = rc.top; y < rc.top + 40; ++y)
        for (int x = rc.right - 1; x > rc.right - 80; --x)
            if (SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) return POINT{x - 3, y + 3};
    return POINT{-1, -1};
}

// The program running on the registered products, with its window up.
struct Running {
    Running() : process(L"\"" + ts::ProgramPath() + L"\"") {
        REQUIRE(process.Started());
        form = ts::WaitForWindow(process.Id(), L"TfrmMain", L"Uninstall", kHang);
        REQUIRE(form != nullptr);
        list = ts::ChildOfClass(form, L"SysListView32");
        button = ts::ChildOfClass(form, L"Button", 0);
        box = ts::ChildOfClass(form, L"Button", 1);
        REQUIRE(list != nullptr);
        REQUIRE(ts::WindowText(button) == L"Uninstall");
        REQUIRE(ts::WindowText(box) == L"All applications");
    }
    int Rows() const { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

    ts::Process process;
    HWND form = nullptr, list = nullptr, button = nullptr, box = nullptr;
};
}  // namespace

TEST_CASE("the window appears centred, owned by the application's window") {
    const std::wstring dir = ts::ScratchDir(L"shell-start");
    RegisterProducts(dir + L"log.txt");
    Running p;
    CHECK(p.Rows() == 3);

    RECT rc;
    GetWindowRect(p.form, &rc);
    const int dx = (rc.left + rc.right) - GetSystemMetrics(SM_CXSCREEN);
    const int dy = (rc.top + rc.bottom) - GetSystemMetrics(SM_CYSCREEN);
    CAPTURE(rc.left);
    CAPTURE(rc.top);
    // Centred to within the pixel lost to halving.
    CHECK(dx >= -1);
    CHECK(dx <= 1);
    CHECK(dy >= -1);
    CHECK(dy <= 1);

    HWND owner = GetWindow(p.form, GW_OWNER);
    REQUIRE(owner != nullptr);
    CHECK(ts::WindowText(owner) == L"Uninstall");
    CHECK(GetWindow(owner, GW_OWNER) == nullptr);
    CHECK((GetWindowLongPtrW(p.form, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0);
    // The first control in tab order has the keyboard.
    CHECK(WaitUntil([&] { return FocusOf(p.form) == p.list; }));
    // Only the form and the application's window are on screen.
    CHECK(ts::VisibleWindows(p.process.Id()).size() == 2);

    PostMessageW(p.form, WM_CLOSE, 0, 0);
    CHECK(p.process.Wait(kHang));
}

TEST_CASE("every way of closing the window ends the program with exit code 0") {
    enum class How { AltF4, CloseMessage, CloseCommand, CloseButton, ApplicationClose };
    const struct {
        const char* name;
        How how;
    } cases[] = {
        {"Alt+F4 typed", How::AltF4},
        {"WM_CLOSE to the form", How::CloseMessage},
        {"Close on the system menu (SC_CLOSE)", How::CloseCommand},
        {"a click on the close button", How::CloseButton},
        {"Close on the taskbar button's menu (WM_CLOSE to the application's window)", How::ApplicationClose},
    };
    const std::wstring dir = ts::ScratchDir(L"shell-close");
    for (const auto& c : cases) {
        INFO(c.name);
        RegisterProducts(dir + L"log.txt");
        Running p;
        switch (c.how) {
        case How::AltF4:
            REQUIRE(WaitUntil([&] { return GetForegroundWindow() == p.form; }));
            Keys({{VK_MENU, true}, {VK_F4, true}, {VK_F4, false}, {VK_MENU, false}});
            break;
        case How::CloseMessage:
            PostMessageW(p.form, WM_CLOSE, 0, 0);
            break;
        case How::CloseCommand:
            PostMessageW(p.form, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case How::CloseButton: {
            const POINT at = CloseButtonPoint(p.form);
            REQUIRE(at.x >= 0);
            ClickScreen(at);
            break;
        }
        case How::ApplicationClose:
            PostMessageW(GetWindow(p.form, GW_OWNER), WM_CLOSE, 0, 0);
            break;
        }
        REQUIRE(p.process.Wait(kHang));
        CHECK(p.process.ExitCode() == 0);
        CHECK_FALSE(ts::PathIsFile(dir + L"log.txt"));
    }
}

TEST_CASE("Enter while the list has the focus starts no uninstall") {
    const std::wstring dir = ts::ScratchDir(L"shell-enter");
    const std::wstring log = dir + L"log.txt";
    RegisterProducts(log);
    Running p;
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == p.form; }));

    // Every row ticked, so a pass, were one started, would run them all.
    RECT box;
    GetClientRect(p.box, &box);
    ts::PostClick(p.box, 8, box.bottom / 2);
    REQUIRE(WaitUntil([&] { return IsWindowEnabled(p.button) != FALSE; }));
    REQUIRE(ts::ButtonChecked(p.box));

    for (int i = 0; i < 3 && FocusOf(p.form) != p.list; ++i) {
        const HWND before = FocusOf(p.form);
        Press(VK_TAB);
        WaitUntil([&] { return FocusOf(p.form) != before; });
    }
    REQUIRE(FocusOf(p.form) == p.list);

    Press(VK_RETURN);
    // Input is handled in order: once Tab has moved the focus on, Enter has
    // been dealt with, and any pass it started would have run to its end.
    // A pass that emptied the list would have ended the program instead.
    Press(VK_TAB);
    REQUIRE(WaitUntil([&] { return FocusOf(p.form) == p.button || p.process.Wait(0); }));

    CHECK_FALSE(ts::PathIsFile(log));
    REQUIRE(p.process.ExitCode() == STILL_ACTIVE);
    CHECK(p.Rows() == 3);
    for (int i = 0; i < 3; ++i) CHECK(ts::RowChecked(p.list, i));
    CHECK(IsWindowEnabled(p.button));
    CHECK(IsWindow(p.form));

    PostMessageW(p.form, WM_CLOSE, 0, 0);
    REQUIRE(p.process.Wait(kHang));
    CHECK(p.process.ExitCode() == 0);
}
