// The one window: the product list, the Uninstall button and "All
// applications", laid out from a fixed description.
#pragma once

#include "../platform/Forms.h"

class TfrmMain : public TForm {
public:
    TListView* lvApp;
    TButton* btnProcess;
    TCheckBox* chAll;

private:
    bool FIgnoreAllClick = false;

public:
    // Builds the window from its layout, loads the product list and
    // refreshes the controls.
    explicit TfrmMain(TComponent* Owner);

    void lvAppClick(TObject* Sender);
    void btnProcessClick(TObject* Sender);
    void chAllClick(TObject* Sender);
};

// The stored layout the window is built from (pixels at 96 DPI).
extern const TFormLayout frmMainLayout;

extern TfrmMain* frmMain;
