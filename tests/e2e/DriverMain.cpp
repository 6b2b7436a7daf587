// uidriver: the driver as a console tool for scripts (the demo and the
// screenshot test). One command per run, output on stdout:
//   wait MS              waits for the main window (prints its process id); exit 1 if none appears
//   geometry             window and client area on screen, controls in client pixels
//   rows                 one line per row: "[x] caption" or "[ ] caption"
//   controls             state of the Uninstall button and the box
//   point row N|button|box   screen point to click
//   idle MS              returns once the window answers again
//   close                asks the window to close
#include <cstdio>
#include <string>

#include "Driver.h"

namespace {
void Print(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}

std::string Rect(const char* name, const RECT& r) {
    return std::string(name) + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
}

std::string Point(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    const DWORD ms = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 0;
    const e2e::AppWindow w = e2e::FindAppWindow(0, cmd == L"wait" ? ms : 2000);
    if (!w) {
        Print("no window");
        return 1;
    }
    if (cmd == L"wait") {
        DWORD pid = 0;
        GetWindowThreadProcessId(w.form, &pid);
        Print("window of process " + std::to_string(pid));
    } else if (cmd == L"geometry") {
        RECT window;
        GetWindowRect(w.form, &window);
        Print(Rect("window", window));
        Print(Rect("client", e2e::ClientOnScreen(w.form)));
        Print(Rect("list", e2e::RectInParent(w.list)));
        Print(Rect("button", e2e::RectInParent(w.button)));
        Print(Rect("box", e2e::RectInParent(w.box)));
    } else if (cmd == L"rows") {
        e2e::RemoteList list(w.list);
        for (const auto& row : list.Rows()) Print(std::string(row.checked ? "[x] " : "[ ] ") + e2e::Utf8(row.caption));
        if (list.Count() == 0) Print("(no rows)");
    } else if (cmd == L"controls") {
        Print(std::string("Uninstall button: ") + (IsWindowEnabled(w.button) ? "enabled" : "disabled"));
        const bool checked = SendMessageW(w.box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        Print(std::string("All applications: ") + (checked ? "checked" : "unchecked") + ", " +
              (IsWindowEnabled(w.box) ? "enabled" : "disabled"));
    } else if (cmd == L"point" && argc > 2) {
        const std::wstring what = argv[2];
        POINT p{};
        HWND target = w.form;
        if (what == L"row" && argc > 3) {
            e2e::RemoteList list(w.list);
            p = list.CheckBoxPoint(_wtoi(argv[3]));
            target = w.list;
        } else if (what == L"button") {
            p = e2e::Centre(w.button);
            target = w.button;
        } else if (what == L"box") {
            // On the box's glyph, left of its caption.
            RECT rc;
            GetClientRect(w.box, &rc);
            p = POINT{6, rc.bottom / 2};
            target = w.box;
        } else {
            return 2;
        }
        ClientToScreen(target, &p);
        Print(Point(p));
    } else if (cmd == L"idle") {
        return e2e::WaitUntilResponsive(w.form, ms ? ms : 60000) ? 0 : 1;
    } else if (cmd == L"close") {
        PostMessageW(w.form, WM_CLOSE, 0, 0);
    } else {
        return 2;
    }
    return 0;
}
