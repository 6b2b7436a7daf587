#include "Selection.h"

void RefreshControls(TListView& lvApp, TButton& btnProcess, TCheckBox& chAll, bool& ignoreAllClick) {
    int checkedCount = 0;
    for (int i = 0; i < lvApp.Count(); ++i) {
        if (lvApp.Item(i).Checked()) {
            btnProcess.SetEnabled(true);
            chAll.SetEnabled(true);
            ++checkedCount;
        }
    }
    ignoreAllClick = true;
    chAll.SetChecked(checkedCount == lvApp.Count());
    ignoreAllClick = false;
    btnProcess.SetEnabled(checkedCount > 0);
    if (lvApp.Count() == 0) {
        // The box was just checked for the empty list; clearing it now runs
        // its handler in full, which finds nothing to tick.
        chAll.SetChecked(false);
        chAll.SetEnabled(false);
    }
}

void ApplyAllApplications(TListView& lvApp, TButton& btnProcess, TCheckBox& chAll, bool ignoreAllClick) {
    if (ignoreAllClick) return;
    for (int i = 0; i < lvApp.Count(); ++i) lvApp.Item(i).SetChecked(chAll.Checked());
    btnProcess.SetEnabled(chAll.Checked());
}
