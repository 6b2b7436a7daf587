// A registry key opener over the Win32 registry: a root, an access mask used
// for every open, and at most one open key at a time.
#pragma once

#include <windows.h>

#include "Classes.h"
#include "Handle.h"
#include "System.h"

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

class TRegistry : public TObject {
public:
    TRegistry() = default;
    ~TRegistry() override { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey = HKEY_CURRENT_USER;
    REGSAM Access = KEY_ALL_ACCESS;

    // Opens `key` below RootKey with Access. With canCreate a missing key and
    // any missing parent are created, whatever the mask. Returns whether a key
    // is open afterwards; never raises.
    bool OpenKey(const UnicodeString& key, bool canCreate);
    // Releases the open key without flushing it to disk.
    void CloseKey();
    HKEY CurrentKey() const { return current_.get(); }

    bool ValueExists(const UnicodeString& name) const;
    // Whether the value exists; if so `text` gets it: REG_SZ or REG_EXPAND_SZ
    // as stored, up to the first NUL; "" for empty data of any type.
    bool TryReadString(const UnicodeString& name, UnicodeString& text) const;
    void WriteInteger(const UnicodeString& name, int value);
    // Value names in the registry's enumeration order; the unnamed default
    // value comes as "". Leaves `list` empty when no key is open.
    void GetValueNames(TStrings& list) const;
    bool DeleteValue(const UnicodeString& name);

private:
    UniqueRegKey current_;
};
