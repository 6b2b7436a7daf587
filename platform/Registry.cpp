#include "Registry.h"

#include <vector>

namespace {
const wchar_t kInvalidDataType[] = L"Invalid data type for '%s'";
const wchar_t kFailedToGetData[] = L"Failed to get data for '%s'";
const wchar_t kFailedToSetData[] = L"Failed to set data for '%s'";
}  // namespace

bool TRegistry::OpenKey(const UnicodeString& key, bool canCreate) {
    CloseKey();
    HKEY h = nullptr;
    LONG rc;
    if (canCreate) {
        rc = ::RegCreateKeyExW(RootKey, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access, nullptr, &h,
                               nullptr);
    } else {
        rc = ::RegOpenKeyExW(RootKey, key.c_str(), 0, Access, &h);
    }
    if (rc != ERROR_SUCCESS) return false;
    current_.reset(h);
    return true;
}

void TRegistry::CloseKey() { current_.reset(); }

bool TRegistry::ValueExists(const UnicodeString& name) const {
    if (!current_) return false;
    return ::RegQueryValueExW(current_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool TRegistry::TryReadString(const UnicodeString& name, UnicodeString& text) const {
    if (!current_) return false;
    // One query gives type, size and data together for the usual short
    // command; a longer value is fetched again at its reported size.
    BYTE small[1024];
    std::vector<BYTE> large;
    BYTE* data = small;
    DWORD type = REG_NONE;
    DWORD size = sizeof small;
    LONG rc = ::RegQueryValueExW(current_.get(), name.c_str(), nullptr, &type, data, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    if (rc == ERROR_MORE_DATA) {
        large.resize(size);
        data = large.data();
        rc = ::RegQueryValueExW(current_.get(), name.c_str(), nullptr, &type, data, &size);
    }
    // Includes a value that grew again or vanished since the first query.
    if (rc != ERROR_SUCCESS) throw ERegistryException(FormatMessage1(kFailedToGetData, name));
    if (size == 0) {
        text.clear();
        return true;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(FormatMessage1(kInvalidDataType, name));

    // Exactly the reported bytes: the data need not end in a NUL, nor have
    // an even length, and nothing past it is looked at.
    const size_t units = size / sizeof(wchar_t);
    text.assign(units, L'\0');
    if (units) memcpy(&text[0], data, units * sizeof(wchar_t));
    const auto nul = text.find(L'\0');
    if (nul != UnicodeString::npos) text.resize(nul);
    return true;
}

void TRegistry::WriteInteger(const UnicodeString& name, int value) {
    const DWORD data = static_cast<DWORD>(value);
    if (!current_ || ::RegSetValueExW(current_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                      sizeof data) != ERROR_SUCCESS)
        throw ERegistryException(FormatMessage1(kFailedToSetData, name));
}

void TRegistry::GetValueNames(TStrings& list) const {
    list.Clear();
    DWORD count = 0;
    DWORD maxNameLen = 0;
    if (!current_ || ::RegQueryInfoKeyW(current_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                        &maxNameLen, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> buffer(maxNameLen + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = static_cast<DWORD>(buffer.size());
        // A value removed since the count was taken has no name to report:
        // it is left out rather than listed under a stale or empty name.
        if (::RegEnumValueW(current_.get(), i, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue;
        list.Add(UnicodeString(buffer.data(), len));
    }
}

bool TRegistry::DeleteValue(const UnicodeString& name) {
    return current_ && ::RegDeleteValueW(current_.get(), name.c_str()) == ERROR_SUCCESS;
}
