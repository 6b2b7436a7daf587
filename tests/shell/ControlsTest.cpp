// The framework's controls as the window's behaviour relies on them: when
// the box raises its click event, what a list click handler sees, and how
// rows move when one is deleted.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "ShellSupport.h"
#include "TestSupport.h"
#include "app/Main.h"

namespace {
// The real window on three products, its handlers replaced by recorders.
struct Recorded {
    Recorded() {
        ts::EnsureApplication();
        ts::ResetFamilyKey();
        for (const wchar_t* name : {L"Alpha", L"Beta", L"Gamma"})
            ts::SetString(ts::kUninstallPaths, name, std::wstring(L"C:\\") + name + L".exe");
        form = new TfrmMain(Application);
        form->Show();
        ts::PumpMessages();
        form->chAll->OnClick = [this](TObject*) { boxEvents.push_back(form->chAll->Checked()); };
        form->lvApp->OnClick = [this](TObject*) { listEvents.push_back("click " + Marks()); };
        form->lvApp->OnDblClick = [this](TObject*) { listEvents.push_back("dblclick " + Marks()); };
    }
    ~Recorded() {
        delete form;
        ts::PumpMessages();
        ts::ResetFamilyKey();
    }
    std::string Marks() const {
        std::string s;
        for (bool b : ts::CheckVector(form->lvApp->Handle())) s += b ? 'x' : '.';
        return s;
    }
    TfrmMain* form;
    std::vector<bool> boxEvents;  // the box's state as each click event saw it
    std::vector<std::string> listEvents;
};
}  // namespace

TEST_CASE("the box raises its click event exactly when its state changes, from code or a click") {
    const struct {
        const char* name;
        std::vector<int> steps;  // 0/1: set Checked from code; 2: a user's click
        std::vector<bool> events;
        bool shown;
    } cases[] = {
        {"set to the state it has", {0}, {}, false},
        {"set on", {1}, {true}, true},
        {"set on twice", {1, 1}, {true}, true},
        {"set on, then off", {1, 0}, {true, false}, false},
        {"a click", {2}, {true}, true},
        {"a click, then set to the same state", {2, 1}, {true}, true},
        {"two clicks", {2, 2}, {true, false}, false},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        Recorded r;
        HWND box = r.form->chAll->Handle();
        for (int s : c.steps) {
            if (s == 2) {
                RECT rc;
                GetClientRect(box, &rc);
                ts::PostClick(box, 8, rc.bottom / 2);
                ts::PumpMessages();
            } else {
                r.form->chAll->SetChecked(s == 1);
            }
        }
        CHECK(r.boxEvents == c.events);
        CHECK(ts::ButtonChecked(box) == c.shown);
        CHECK(r.form->chAll->Checked() == c.shown);
    }
}

TEST_CASE("a list click handler sees the check marks as the click left them") {
    const struct {
        const char* name;
        bool onBox;
        bool twice;
        std::vector<std::string> events;
    } cases[] = {
        {"a click on a check box", true, false, {"click .x."}},
        {"a click on the text", false, false, {"click ..."}},
        {"a double-click on a check box", true, true, {"click .x.", "dblclick .x."}},
        {"a double-click on the text", false, true, {"click ...", "dblclick ..."}},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        Recorded r;
        HWND list = r.form->lvApp->Handle();
        const POINT p = c.onBox ? ts::RowCheckBoxPoint(list, 1) : ts::RowTextPoint(list, 1);
        ts::PostClick(list, p.x, p.y, c.twice);
        ts::PumpMessages();
        CHECK(r.listEvents == c.events);
    }
}

TEST_CASE("check marks set from code raise no list click") {
    Recorded r;
    r.form->lvApp->Item(0).SetChecked(true);
    r.form->lvApp->Item(2).SetChecked(true);
    r.form->lvApp->Item(0).SetChecked(false);
    ts::PumpMessages();
    CHECK(r.listEvents.empty());
    CHECK(r.Marks() == "..x");
}

TEST_CASE("deleting a row moves every later row up at once, with its command and check mark") {
    const struct {
        int deleted;
        std::vector<std::wstring> captions;
        std::vector<std::wstring> commands;
        std::string marks;
    } cases[] = {
        {0, {L"Beta", L"Gamma"}, {L"C:\\Beta.exe", L"C:\\Gamma.exe"}, ".x"},
        {1, {L"Alpha", L"Gamma"}, {L"C:\\Alpha.exe", L"C:\\Gamma.exe"}, ".x"},
        {2, {L"Alpha", L"Beta"}, {L"C:\\Alpha.exe", L"C:\\Beta.exe"}, ".."},
    };
    for (const auto& c : cases) {
        CAPTURE(c.deleted);
        Recorded r;
        TListView& list = *r.form->lvApp;
        list.Item(2).SetChecked(true);
        list.Item(c.deleted).Delete();
        REQUIRE(list.Count() == 2);
        CHECK(SendMessageW(list.Handle(), LVM_GETITEMCOUNT, 0, 0) == 2);
        std::vector<std::wstring> captions, commands;
        for (int i = 0; i < list.Count(); ++i) {
            captions.push_back(list.Item(i).Caption());
            commands.push_back(list.Item(i).SubItems()[0]);
        }
        CHECK(captions == c.captions);
        CHECK(commands == c.commands);
        CHECK(r.Marks() == c.marks);
    }
}
