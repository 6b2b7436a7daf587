// Keeps the Uninstall button and "All applications" consistent with the
// rows' check marks.
#pragma once

#include "../platform/Forms.h"

// The control refresh: re-derives the button and the box from the rows.
// `ignoreAllClick` is raised while the box is set, so that the box's own
// click handler leaves the rows alone.
void RefreshControls(TListView& lvApp, TButton& btnProcess, TCheckBox& chAll, bool& ignoreAllClick);

// Copies the box's state to every row.
void ApplyAllApplications(TListView& lvApp, TButton& btnProcess, TCheckBox& chAll, bool ignoreAllClick);
