#include "ProductList.h"

#include <memory>

#include "../registry/Regedit.h"

const wchar_t kUninstallPathsKey[] = L"SOFTWARE\\Quillbrook\\UninstallPaths";

namespace {
// Reserved for the family's shared files; never a product of its own.
const wchar_t kReservedName[] = L"Common";

}  // namespace

void LoadProductList(TListView& lvApp) {
    auto reg = std::make_unique<TRegedit>(kUninstallPathsKey, HKEY_LOCAL_MACHINE);
    TListUpdate update(lvApp);  // one paint when loading ends
    lvApp.Clear();
    TStringList names;
    reg->GetValueNames(names);
    for (int i = 0; i < names.Count(); ++i) {
        const UnicodeString& name = names[i];
        if (name == kReservedName) continue;
        // Read before the row exists, so a value that raises never shows.
        UnicodeString command = reg->ReadString(name, UnicodeString());
        TListItem row = lvApp.Add();
        row.SetChecked(false);
        row.SetCaption(name);
        row.SubItems().Add(command);
    }
}
