// The list, "All applications" and the Uninstall button kept consistent, in
// the real window driven by real mouse and keyboard messages.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "ShellSupport.h"
#include "TestSupport.h"
#include "app/Main.h"

namespace {
enum class Act {
    ClickBox,         // a click on row `row`'s check box
    ClickText,        // a click on row `row`'s text
    ClickEmpty,       // a click on the list below its last row
    DoubleClickBox,   // a double-click on row `row`'s check box
    DoubleClickText,  // a double-click on row `row`'s text
    Space,            // the space bar, pressed in the list
    ClickAll,         // a click on "All applications"
    EmptyAndRefresh,  // every row removed, then the refresh, as a pass ends
};
struct Step {
    Act act;
    int row;
};

struct Case {
    const char* name;
    int products;
    std::vector<Step> steps;
    // What the controls show afterwards.
    std::vector<bool> checks;
    bool processEnabled;
    bool allChecked;
    bool allEnabled;
};

const Step Box0{Act::ClickBox, 0}, Box1{Act::ClickBox, 1}, Box2{Act::ClickBox, 2};
const Step Text0{Act::ClickText, 0}, Text1{Act::ClickText, 1}, Text2{Act::ClickText, 2};
const Step All{Act::ClickAll, 0}, Space{Act::Space, 0}, Empty{Act::ClickEmpty, 0};

const Case kCases[] = {
    // name, products, steps, checks, Uninstall enabled, box checked, box enabled
    {"start-up with products: nothing ticked, box enabled", 3, {}, {false, false, false}, false, false, true},
    {"start-up with no products: button and box disabled", 0, {}, {}, false, false, false},
    {"a click on a check box ticks the row and enables Uninstall", 3, {Box1}, {false, true, false}, true, false,
     true},
    {"a second click on the box unticks it again", 3, {Box1, Box1}, {false, false, false}, false, false, true},
    {"a click on a row's text ticks nothing", 3, {Text1}, {false, false, false}, false, false, true},
    {"a click on another row's text keeps the ticked row", 3, {Box0, Text2}, {true, false, false}, true, false,
     true},
    // A click on a check box leaves the focused row alone; a click on the
    // text makes it the row Space acts on.
    {"Space ticks the focused row and refreshes nothing", 3, {Text1, Space}, {false, true, false}, false, false,
     true},
    {"Space unticks the focused row and refreshes nothing", 3, {Box0, Text0, Space}, {false, false, false}, true,
     false, true},
    {"Space after All unticks one row and leaves the box checked", 3, {All, Text1, Space}, {true, false, true},
     true, true, true},
    {"Space on the last unticked row leaves the box unchecked", 3, {Box0, Box1, Text2, Space}, {true, true, true},
     true, false, true},
    {"a click on empty space refreshes like a click on a row", 3, {Box0, Text0, Space, Empty},
     {false, false, false}, false, false, true},
    {"a click on empty space after Space ticked every row checks the box", 3, {Box0, Box1, Text2, Space, Empty},
     {true, true, true}, true, true, true},
    {"ticking every row one by one checks the box, rows unchanged", 3, {Box0, Box1, Box2}, {true, true, true},
     true, true, true},
    {"ticking the only row checks the box", 1, {Box0}, {true}, true, true, true},
    {"unticking one row of a full list unchecks the box, the rest stay", 3, {Box0, Box1, Box2, Box1},
     {true, false, true}, true, false, true},
    {"unticking one row after All unchecks the box, the rest stay", 3, {All, Box2}, {true, true, false}, true,
     false, true},
    {"All ticks every row and enables Uninstall", 3, {All}, {true, true, true}, true, true, true},
    {"All on then off clears every row and disables Uninstall", 3, {All, All}, {false, false, false}, false, false,
     true},
    {"All off clears rows ticked by hand", 3, {Box0, Box1, Box2, All}, {false, false, false}, false, false, true},
    {"All on with some rows ticked ticks the rest", 3, {Box1, All}, {true, true, true}, true, true, true},
    {"a double-click on a check box", 3, {{Act::DoubleClickBox, 0}}, {true, false, false}, true, false, true},
    {"a double-click on a row's text", 3, {{Act::DoubleClickText, 2}}, {false, false, false}, false, false, true},
    {"a double-click refreshes after Space", 3, {Box0, Text0, Space, {Act::DoubleClickText, 2}},
     {false, false, false}, false, false, true},
    {"a list emptied with the box checked: box unchecked and disabled", 2, {All, {Act::EmptyAndRefresh, 0}}, {},
     false, false, false},
    {"a list emptied with nothing ticked: box unchecked and disabled", 2, {{Act::EmptyAndRefresh, 0}}, {}, false,
     false, false},
};

void Perform(TfrmMain& form, const Step& step) {
    HWND list = form.lvApp->Handle();
    switch (step.act) {
    case Act::ClickBox:
    case Act::DoubleClickBox: {
        const POINT p = ts::RowCheckBoxPoint(list, step.row);
        ts::PostClick(list, p.x, p.y, step.act == Act::DoubleClickBox);
        break;
    }
    case Act::ClickText:
    case Act::DoubleClickText: {
        const POINT p = ts::RowTextPoint(list, step.row);
        ts::PostClick(list, p.x, p.y, step.act == Act::DoubleClickText);
        break;
    }
    case Act::ClickEmpty: {
        RECT client;
        GetClientRect(list, &client);
        ts::PostClick(list, 40, client.bottom - 8);
        break;
    }
    case Act::Space:
        PostMessageW(list, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageW(list, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
        break;
    case Act::ClickAll: {
        HWND box = form.chAll->Handle();
        RECT client;
        GetClientRect(box, &client);
        ts::PostClick(box, 8, client.bottom / 2);
        break;
    }
    case Act::EmptyAndRefresh:
        while (form.lvApp->Count() > 0) form.lvApp->Item(0).Delete();
        form.lvAppClick(form.lvApp);
        break;
    }
    ts::PumpMessages();
}
}  // namespace

TEST_CASE("the selection controls follow the rows' check marks") {
    ts::EnsureApplication();
    for (const Case& c : kCases) {
        INFO(std::string(c.name));
        ts::ResetFamilyKey();
        for (int i = 0; i < c.products; ++i)
            ts::SetString(ts::kUninstallPaths, L"Product " + std::to_wstring(i + 1), L"C:\\none.exe");
        TfrmMain* form = new TfrmMain(Application);
        form->Show();
        ts::PumpMessages();
        REQUIRE(form->lvApp->Count() == c.products);
        for (const Step& s : c.steps) Perform(*form, s);

        HWND list = form->lvApp->Handle();
        CHECK(ts::CheckVector(list) == c.checks);
        CHECK((IsWindowEnabled(form->btnProcess->Handle()) != FALSE) == c.processEnabled);
        CHECK(ts::ButtonChecked(form->chAll->Handle()) == c.allChecked);
        CHECK((IsWindowEnabled(form->chAll->Handle()) != FALSE) == c.allEnabled);
        // The box's own record agrees with what it shows.
        CHECK(form->chAll->Checked() == c.allChecked);
        delete form;
        ts::PumpMessages();
    }
    ts::ResetFamilyKey();
}
