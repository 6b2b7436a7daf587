#include "Regedit.h"

#include <utility>

namespace {
// Closes the accessor's key when an operation leaves, normally or by an error.
class KeyCloser {
public:
    explicit KeyCloser(TRegistry& registry) : registry_(registry) {}
    ~KeyCloser() { registry_.CloseKey(); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    TRegistry& registry_;
};
}  // namespace

TRegedit::TRegedit(UnicodeString keyPath, HKEY rootKey) : Registry(new TRegistry), KeyPath(std::move(keyPath)) {
    Registry->RootKey = rootKey;
}

TRegedit::~TRegedit() = default;

UnicodeString TRegedit::ReadString(UnicodeString name, UnicodeString defaultText) {
    UnicodeString result = std::move(defaultText);
    KeyCloser closer(*Registry);
    Registry->Access = KEY_READ;
    Registry->OpenKey(KeyPath, true);
    UnicodeString text;
    if (Registry->TryReadString(name, text)) result = std::move(text);
    // Only a read that succeeded restores the full mask; after an error the
    // accessor is not used again.
    Registry->Access = KEY_ALL_ACCESS;
    return result;
}

void TRegedit::WriteInteger(UnicodeString name, int value) {
    KeyCloser closer(*Registry);
    Registry->OpenKey(KeyPath, true);
    Registry->WriteInteger(name, value);
}

void TRegedit::GetValueNames(TStrings& list) {
    KeyCloser closer(*Registry);
    Registry->OpenKey(KeyPath, true);
    Registry->GetValueNames(list);
}

bool TRegedit::ValueExists(UnicodeString name) {
    KeyCloser closer(*Registry);
    return Registry->OpenKey(KeyPath, false) && Registry->ValueExists(name);
}

bool TRegedit::DeleteValue(UnicodeString name) {
    KeyCloser closer(*Registry);
    return Registry->OpenKey(KeyPath, false) && Registry->DeleteValue(name);
}
