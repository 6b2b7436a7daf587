#pragma once

#include "../platform/Forms.h"

// Where the family's installers register their products: value name =
// display name, data = uninstall command.
extern const wchar_t kUninstallPathsKey[];

// Fills the list with one unticked row per registered product, in the
// registry's order. A value that cannot be read raises before it becomes a row.
void LoadProductList(TListView& lvApp);
