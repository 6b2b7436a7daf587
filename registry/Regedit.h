// One-line access to one registry key: every operation opens the key, does
// one thing and closes it again, so no key is held open between operations.
#pragma once

#include <windows.h>

#include <memory>

#include "../platform/Classes.h"
#include "../platform/Registry.h"

class TRegedit {
public:
    TRegedit(UnicodeString keyPath, HKEY rootKey);
    ~TRegedit();
    TRegedit(const TRegedit&) = delete;
    TRegedit& operator=(const TRegedit&) = delete;

    // The default when the value is absent or the key cannot be opened.
    UnicodeString ReadString(UnicodeString name, UnicodeString defaultText);
    void WriteInteger(UnicodeString name, int value);
    void GetValueNames(TStrings& list);
    bool ValueExists(UnicodeString name);
    bool DeleteValue(UnicodeString name);

    std::unique_ptr<TRegistry> Registry;
    UnicodeString KeyPath;
};
