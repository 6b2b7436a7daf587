// The main window as built from its layout, checked in the running program.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include "TestSupport.h"
#include "app/Main.h"

namespace {
struct AppOnce {
    AppOnce() {
        Application->Initialize();
        Application->SetTitle(L"Uninstall");
    }
};
void EnsureApplication() { static AppOnce once; }

RECT ClientRectIn(HWND parent, HWND child) {
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}
}  // namespace

TEST_CASE("the window matches its layout at 96 DPI") {
    EnsureApplication();
    ts::ResetFamilyKey();
    TfrmMain* form = new TfrmMain(Application);
    HWND hwnd = form->Handle();

    RECT client;
    GetClientRect(hwnd, &client);
    CHECK(client.right == 358);
    CHECK(client.bottom == 254);
    CHECK(ts::WindowText(hwnd) == L"Uninstall");

    struct Expected {
        const wchar_t* cls;
        RECT rect;
        const wchar_t* caption;
    } expected[] = {
        {L"SysListView32", {11, 12, 11 + 336, 12 + 194}, L""},
        {L"Button", {210, 218, 210 + 137, 218 + 25}, L"Uninstall"},
        {L"Button", {11, 222, 11 + 144, 222 + 17}, L"All applications"},
    };
    HWND child = GetWindow(hwnd, GW_CHILD);
    for (const auto& e : expected) {
        REQUIRE(child != nullptr);
        CAPTURE(ts::WindowText(child));
        CHECK(ts::ClassName(child) == e.cls);
        const RECT rc = ClientRectIn(hwnd, child);
        CHECK(rc.left == e.rect.left);
        CHECK(rc.top == e.rect.top);
        CHECK(rc.right == e.rect.right);
        CHECK(rc.bottom == e.rect.bottom);
        CHECK(ts::WindowText(child) == e.caption);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    delete form;
}
