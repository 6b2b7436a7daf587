// The main window as built from its layout, checked in the running program:
// frame, client size, each control's place, class, styles, caption, tab
// order and font, and the common controls it was built with.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "ShellSupport.h"
#include "TestSupport.h"
#include "app/Main.h"

namespace {
RECT ClientRectIn(HWND parent, HWND child) {
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::wstring Lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return s;
}

// The face the font really gets on this system, not the one asked for.
std::wstring RealizedFace(HFONT font) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return face;
}

// The form, built as the program builds it, with a few products listed.
struct FormFixture {
    FormFixture() {
        ts::EnsureApplication();
        ts::ResetFamilyKey();
        ts::SetString(ts::kUninstallPaths, L"Alpha", L"C:\\alpha.exe");
        ts::SetString(ts::kUninstallPaths, L"Beta", L"C:\\beta.exe");
        form = new TfrmMain(Application);
        hwnd = form->Handle();
    }
    ~FormFixture() {
        delete form;
        ts::ResetFamilyKey();
    }
    TfrmMain* form;
    HWND hwnd;
};

struct ExpectedControl {
    const wchar_t* name;
    const wchar_t* cls;
    RECT rect;
    const wchar_t* caption;
    DWORD styleOn;   // every one of these bits set
    DWORD styleOff;  // none of these bits set
    DWORD exStyleOn;
};

const DWORD kChild = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

// In tab order, which is also the order of the form's child windows.
const ExpectedControl kControls[] = {
    {L"lvApp", L"SysListView32", {11, 12, 11 + 336, 12 + 194}, L"", kChild | LVS_REPORT | LVS_NOCOLUMNHEADER,
     LVS_EDITLABELS, WS_EX_CLIENTEDGE},
    {L"btnProcess", L"Button", {210, 218, 210 + 137, 218 + 25}, L"Uninstall", kChild, 0, 0},
    {L"chAll", L"Button", {11, 222, 11 + 144, 222 + 17}, L"All applications", kChild, 0, 0},
};
}  // namespace

TEST_CASE("the screen is at 96 logical pixels per inch, as the layout's numbers assume") {
    HDC dc = GetDC(nullptr);
    CHECK(GetDeviceCaps(dc, LOGPIXELSY) == 96);
    ReleaseDC(nullptr, dc);
}

TEST_CASE("the form: dialog frame, fixed size, client area, caption, owner") {
    FormFixture f;
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(f.hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(f.hwnd, GWL_EXSTYLE));
    CHECK((style & WS_CAPTION) == WS_CAPTION);
    CHECK((style & WS_SYSMENU) == WS_SYSMENU);
    CHECK((style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD)) == 0);
    CHECK((exStyle & WS_EX_DLGMODALFRAME) == WS_EX_DLGMODALFRAME);
    // A taskbar button of its own would come with this.
    CHECK((exStyle & WS_EX_APPWINDOW) == 0);

    RECT client;
    GetClientRect(f.hwnd, &client);
    CHECK(client.right == 358);
    CHECK(client.bottom == 254);
    CHECK(ts::WindowText(f.hwnd) == L"Uninstall");
    CHECK(GetClassLongPtrW(f.hwnd, GCLP_HBRBACKGROUND) == COLOR_BTNFACE + 1);

    // Owned by the application's window, which carries the taskbar button
    // and the title.
    HWND owner = GetWindow(f.hwnd, GW_OWNER);
    REQUIRE(owner != nullptr);
    CHECK(owner == Application->Handle());
    CHECK(ts::WindowText(owner) == L"Uninstall");
    CHECK(GetWindow(owner, GW_OWNER) == nullptr);

    // The system menu offers neither sizing, minimising nor maximising.
    HMENU menu = GetSystemMenu(f.hwnd, FALSE);
    REQUIRE(menu != nullptr);
    for (UINT cmd : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
        CAPTURE(cmd);
        CHECK(GetMenuState(menu, cmd, MF_BYCOMMAND) == static_cast<UINT>(-1));
    }
    CHECK(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1));
}

TEST_CASE("each control: class, rectangle, caption, styles, font, tab order") {
    FormFixture f;
    // Every row ticked, so that all three controls are enabled and in the
    // tab cycle.
    f.form->chAll->SetChecked(true);
    REQUIRE(IsWindowEnabled(f.form->btnProcess->Handle()));
    HWND child = GetWindow(f.hwnd, GW_CHILD);
    HWND previous = nullptr;
    for (const auto& e : kControls) {
        const std::wstring name = e.name;
        CAPTURE(name);
        REQUIRE(child != nullptr);
        CHECK(ts::ClassName(child) == e.cls);
        const RECT rc = ClientRectIn(f.hwnd, child);
        CHECK(rc.left == e.rect.left);
        CHECK(rc.top == e.rect.top);
        CHECK(rc.right == e.rect.right);
        CHECK(rc.bottom == e.rect.bottom);
        CHECK(ts::WindowText(child) == e.caption);
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
        const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE));
        CHECK((style & e.styleOn) == e.styleOn);
        CHECK((style & e.styleOff) == 0);
        CHECK((exStyle & e.exStyleOn) == e.exStyleOn);
        CHECK(f.form->Control<TWinControl>(e.name)->Handle() == child);

        auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
        REQUIRE(font != nullptr);
        LOGFONTW lf{};
        REQUIRE(GetObjectW(font, sizeof lf, &lf) == sizeof lf);
        CHECK(std::wstring(lf.lfFaceName) == L"Tahoma");
        CHECK(lf.lfHeight == -11);
        CHECK(lf.lfWeight == FW_NORMAL);
        CHECK(lf.lfItalic == 0);
        CHECK(lf.lfCharSet == DEFAULT_CHARSET);
        CHECK(RealizedFace(font) == L"Tahoma");

        // Tab moves on from the previous control to this one.
        if (previous) CHECK(GetNextDlgTabItem(f.hwnd, previous, FALSE) == child);
        previous = child;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    CHECK(child == nullptr);
    // ... and from the last back to the first.
    CHECK(GetNextDlgTabItem(f.hwnd, previous, FALSE) == f.form->lvApp->Handle());
}

TEST_CASE("the list: check boxes, whole-row selection, one 300-pixel column without caption") {
    FormFixture f;
    HWND list = f.form->lvApp->Handle();
    const auto ex = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    CHECK((ex & LVS_EX_CHECKBOXES) == LVS_EX_CHECKBOXES);
    CHECK((ex & LVS_EX_FULLROWSELECT) == LVS_EX_FULLROWSELECT);

    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    REQUIRE(header != nullptr);
    CHECK(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 1);
    CHECK(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0) == 300);
    wchar_t text[64] = L"unread";
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 64;
    REQUIRE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    CHECK(std::wstring(text).empty());

    CHECK(ts::CheckVector(list) == std::vector<bool>{false, false});
}

TEST_CASE("the buttons: Uninstall is no default push button, the box starts unchecked") {
    FormFixture f;
    const auto buttonStyle = static_cast<DWORD>(GetWindowLongPtrW(f.form->btnProcess->Handle(), GWL_STYLE));
    CHECK((buttonStyle & BS_TYPEMASK) == BS_PUSHBUTTON);
    // An ordinary button answers as one; a default one would say so.
    const auto code = static_cast<UINT>(SendMessageW(f.form->btnProcess->Handle(), WM_GETDLGCODE, 0, 0));
    CHECK((code & DLGC_DEFPUSHBUTTON) == 0);

    const auto boxStyle = static_cast<DWORD>(GetWindowLongPtrW(f.form->chAll->Handle(), GWL_STYLE));
    const DWORD type = boxStyle & BS_TYPEMASK;
    CHECK((type == BS_CHECKBOX || type == BS_AUTOCHECKBOX));
    CHECK_FALSE(ts::ButtonChecked(f.form->chAll->Handle()));
}

TEST_CASE("the controls come from the version 6 common controls") {
    FormFixture f;
    // The module whose code runs the list is the one in use.
    const auto proc = GetWindowLongPtrW(f.form->lvApp->Handle(), GWLP_WNDPROC);
    HMODULE module = nullptr;
    REQUIRE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCWSTR>(proc), &module));
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring p = Lower(path);
    CAPTURE(p);
    CHECK(p.find(L"\\winsxs\\") != std::wstring::npos);
    CHECK(p.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0.") != std::wstring::npos);
    CHECK(p.size() > 12);
    CHECK(p.substr(p.size() - 12) == L"comctl32.dll");
}
