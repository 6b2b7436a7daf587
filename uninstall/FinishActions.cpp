#include "FinishActions.h"

#include <memory>

#include "../platform/Shell.h"
#include "../registry/Regedit.h"

const wchar_t kLinksKey[] = L"SOFTWARE\\Quillbrook\\Links";
const wchar_t kDefaultLink[] = L"https://www.quillbrook.com/";
const wchar_t kHelperRelativePath[] = L"Quillbrook\\QbkUninstall.exe";

namespace {
const wchar_t kFarewellLink[] = L"Uninstall";
const wchar_t kProcessIdPrefix[] = L"PROCESSID-";
}  // namespace

void ShellOpen(const UnicodeString& target) { ShellExecuteDefault(nullptr, target, nullptr); }

void OpenLink(const UnicodeString& name) {
    auto reg = std::make_unique<TRegedit>(kLinksKey, HKEY_LOCAL_MACHINE);
    // An existing value is used as stored, even when empty.
    const UnicodeString address = reg->ReadString(name, kDefaultLink);
    ShellOpen(address);
}

UnicodeString HelperPath(const UnicodeString& documents) {
    UnicodeString path = documents;
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + kHelperRelativePath;
}

void FinishAll(TForm& form) {
    OpenLink(kFarewellLink);
    // The window stays valid until the handler returns; it owns the helper's
    // start below.
    form.Close();
    // Asked for in UTF-16, so that a documents folder whose name the ANSI
    // code page cannot spell is still found.
    UnicodeString documents;
    if (!DocumentsFolder(documents)) return;
    const UnicodeString helper = HelperPath(documents);
    if (!FileExists(helper)) return;
    const UnicodeString parameters = kProcessIdPrefix + std::to_wstring(::GetCurrentProcessId());
    ShellExecuteDefault(form.Handle(), helper, &parameters);
}
