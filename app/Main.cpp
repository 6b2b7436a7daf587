#include "Main.h"

#include "../uninstall/FinishActions.h"
#include "../uninstall/ProductList.h"
#include "../uninstall/Selection.h"
#include "../uninstall/UninstallPass.h"

TfrmMain* frmMain = nullptr;

const TFormLayout frmMainLayout = {
    L"TfrmMain", L"Uninstall", 358, 254, L"Tahoma", -11,
    {
        // kind, name, left, top, width, height, caption, tab order, OnClick, OnDblClick, column width
        {TControlKind::ListView, L"lvApp", 11, 12, 336, 194, nullptr, 0, L"lvAppClick", L"lvAppClick", 300},
        {TControlKind::Button, L"btnProcess", 210, 218, 137, 25, L"Uninstall", 1, L"btnProcessClick", nullptr, 0},
        {TControlKind::CheckBox, L"chAll", 11, 222, 144, 17, L"All applications", 2, L"chAllClick", nullptr, 0},
    }};

TfrmMain::TfrmMain(TComponent* Owner)
    : TForm(Owner, frmMainLayout,
            {
                {L"lvAppClick", [this](TObject* s) { lvAppClick(s); }},
                {L"btnProcessClick", [this](TObject* s) { btnProcessClick(s); }},
                {L"chAllClick", [this](TObject* s) { chAllClick(s); }},
            }),
      lvApp(Control<TListView>(L"lvApp")),
      btnProcess(Control<TButton>(L"btnProcess")),
      chAll(Control<TCheckBox>(L"chAll")) {
    LoadProductList(*lvApp);
    lvAppClick(lvApp);
}

void TfrmMain::lvAppClick(TObject* /*Sender*/) { RefreshControls(*lvApp, *btnProcess, *chAll, FIgnoreAllClick); }

void TfrmMain::btnProcessClick(TObject* /*Sender*/) {
    RunUninstallPass(
        Handle(), *lvApp, [this] { lvAppClick(lvApp); }, [this] { FinishAll(*this); });
}

void TfrmMain::chAllClick(TObject* /*Sender*/) {
    ApplyAllApplications(*lvApp, *btnProcess, *chAll, FIgnoreAllClick);
}
