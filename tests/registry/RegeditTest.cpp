// TRegedit against the real registry of the test prefix: how values of every
// kind read as text, which operations create their key, and that no key is
// left open after any operation, one that raised included.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "OpenHandles.h"
#include "TestSupport.h"
#include "registry/Regedit.h"

namespace {

const std::wstring kTestKey = std::wstring(ts::kFamily) + L"\\RegeditTest";

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    return out;
}

std::vector<BYTE> Bytes(const std::wstring& units) {
    const auto* p = reinterpret_cast<const BYTE*>(units.data());
    return std::vector<BYTE>(p, p + units.size() * sizeof(wchar_t));
}
// The text with its terminating NUL, as ordinary writers store a string.
std::vector<BYTE> Sz(const std::wstring& text) { return Bytes(text + L'\0'); }
std::vector<BYTE> Truncated(std::vector<BYTE> data, size_t bytes) {
    data.resize(bytes);
    return data;
}

// What an operation gave: its result as text, or the message it raised.
struct Outcome {
    std::wstring text;
    bool raised = false;
};

Outcome Run(const std::function<std::wstring()>& op) {
    try {
        return {op(), false};
    } catch (const ERegistryException& e) {
        return {e.Message(), true};
    }
}

std::wstring Joined(const TStrings& list) {
    std::wstring s = L"[";
    for (int i = 0; i < list.Count(); ++i) s += (i ? L"|" : L"") + list[i];
    return s + L"]";
}

// Creates `key` as a volatile key: the registry refuses to create a lasting
// key below it, which makes a key path that can be neither opened nor created.
void CreateVolatileKey(const std::wstring& key) {
    HKEY h = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &h, nullptr) == ERROR_SUCCESS);
    RegCloseKey(h);
}

}  // namespace

TEST_CASE("ReadString over value types and data") {
    const std::wstring big = std::wstring(300000, L'q') + L"end";
    std::wstring embedded = L"C:\\first.exe";
    embedded += L'\0';
    embedded += L"C:\\hidden.exe";
    const DWORD dword = 1;

    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        std::wstring expected;  // the text, or the message when `raises`
        bool raises;
    } cases[] = {
        {"REG_SZ", REG_SZ, Sz(L"C:\\App\\unins000.exe /x"), L"C:\\App\\unins000.exe /x", false},
        {"REG_EXPAND_SZ stays unexpanded", REG_EXPAND_SZ, Sz(L"%ProgramFiles%\\App\\u.exe %TEMP%"),
         L"%ProgramFiles%\\App\\u.exe %TEMP%", false},
        {"empty string is not the default", REG_SZ, Sz(L""), L"", false},
        {"zero bytes REG_SZ", REG_SZ, {}, L"", false},
        {"zero bytes REG_EXPAND_SZ", REG_EXPAND_SZ, {}, L"", false},
        {"zero bytes REG_DWORD", REG_DWORD, {}, L"", false},
        {"zero bytes REG_BINARY", REG_BINARY, {}, L"", false},
        {"zero bytes REG_MULTI_SZ", REG_MULTI_SZ, {}, L"", false},
        {"zero bytes REG_NONE", REG_NONE, {}, L"", false},
        {"REG_DWORD", REG_DWORD, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&dword),
                                                   reinterpret_cast<const BYTE*>(&dword) + 4),
         L"Invalid data type for 'Product'", true},
        {"REG_BINARY", REG_BINARY, Sz(L"looks like text"), L"Invalid data type for 'Product'", true},
        {"REG_MULTI_SZ", REG_MULTI_SZ, Bytes(std::wstring(L"a.exe\0b.exe\0\0", 13)), L"Invalid data type for 'Product'",
         true},
        {"REG_QWORD", REG_QWORD, std::vector<BYTE>(8, 1), L"Invalid data type for 'Product'", true},
        {"REG_NONE with data", REG_NONE, Sz(L"x"), L"Invalid data type for 'Product'", true},
        {"embedded NUL ends the text", REG_SZ, Sz(embedded), L"C:\\first.exe", false},
        {"no terminator", REG_SZ, Bytes(L"C:\\u.exe"), L"C:\\u.exe", false},
        {"no terminator REG_EXPAND_SZ", REG_EXPAND_SZ, Bytes(L"%WINDIR%"), L"%WINDIR%", false},
        {"odd byte length drops the half unit", REG_SZ, Truncated(Bytes(L"abc"), 5), L"ab", false},
        {"a single byte", REG_SZ, Truncated(Bytes(L"a"), 1), L"", false},
        {"large value", REG_SZ, Sz(big), big, false},
        // Around the size that one query fetches at once.
        {"1024 bytes, no terminator", REG_SZ, Bytes(std::wstring(512, L'k')), std::wstring(512, L'k'), false},
        {"1026 bytes, no terminator", REG_SZ, Bytes(std::wstring(513, L'k')), std::wstring(513, L'k'), false},
        {"1025 bytes", REG_EXPAND_SZ, Truncated(Bytes(std::wstring(513, L'k')), 1025), std::wstring(512, L'k'),
         false},
        {"large REG_BINARY", REG_BINARY, std::vector<BYTE>(5000, 0x41), L"Invalid data type for 'Product'", true},
    };

    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        ts::SetRaw(kTestKey.c_str(), L"Product", c.type, c.data.data(), c.data.size());

        TRegedit reg(kTestKey, HKEY_LOCAL_MACHINE);
        const long handlesBefore = regtest::OpenHandleCount();
        const Outcome got = Run([&] { return reg.ReadString(L"Product", L"<default>"); });
        CHECK(got.raised == c.raises);
        CHECK(got.text.size() == c.expected.size());
        CHECK(Narrow(got.text) == Narrow(c.expected));
        CHECK(got.text == c.expected);
        // The key is closed on both paths; only a successful read restores
        // the full access mask.
        CHECK(reg.Registry->CurrentKey() == nullptr);
        CHECK(regtest::OpenHandleCount() == handlesBefore);
        CHECK(reg.Registry->Access == (c.raises ? static_cast<REGSAM>(KEY_READ) : static_cast<REGSAM>(KEY_ALL_ACCESS)));
    }
}

TEST_CASE("ReadString of a value that is not there gives the default") {
    ts::ResetFamilyKey();
    ts::SetString(kTestKey.c_str(), L"Other", L"x");
    struct Case {
        const char* what;
        std::wstring name;
        std::wstring expected;
    } cases[] = {
        {"missing name", L"Product", L"<default>"},
        {"name differing in case is the same value", L"OTHER", L"x"},
        {"unset default value", L"", L"<default>"},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        TRegedit reg(kTestKey, HKEY_LOCAL_MACHINE);
        CHECK(reg.ReadString(c.name, L"<default>") == c.expected);
        CHECK(reg.Registry->Access == static_cast<REGSAM>(KEY_ALL_ACCESS));
    }
}

TEST_CASE("the open key is counted, so a leaked one would show") {
    // Proof that the handle count sees registry keys in this process.
    ts::ResetFamilyKey();
    ts::SetString(kTestKey.c_str(), L"x", L"y");
    const long before = regtest::OpenHandleCount();
    REQUIRE(before > 0);
    HKEY h = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS);
    CHECK(regtest::OpenHandleCount() == before + 1);
    RegCloseKey(h);
    CHECK(regtest::OpenHandleCount() == before);
}

TEST_CASE("opening a missing key: which operations create it") {
    const std::wstring key = std::wstring(ts::kFamily) + L"\\Missing\\Deeper";
    struct Case {
        const char* what;
        std::function<std::wstring(TRegedit&)> op;
        std::wstring expected;
        bool created;
    } cases[] = {
        {"ReadString", [](TRegedit& r) { return r.ReadString(L"Product", L"<default>"); }, L"<default>", true},
        {"GetValueNames",
         [](TRegedit& r) {
             TStringList list;
             list.Add(L"stale");
             r.GetValueNames(list);
             return Joined(list);
         },
         L"[]", true},
        {"WriteInteger",
         [&key](TRegedit& r) {
             r.WriteInteger(L"UninstallMode", -1);
             DWORD v = 0;
             return ts::GetDword(key.c_str(), L"UninstallMode", v) ? std::to_wstring(v) : L"none";
         },
         L"4294967295", true},
        {"ValueExists", [](TRegedit& r) { return r.ValueExists(L"Product") ? L"true" : L"false"; }, L"false", false},
        {"DeleteValue", [](TRegedit& r) { return r.DeleteValue(L"Product") ? L"true" : L"false"; }, L"false", false},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        REQUIRE_FALSE(ts::KeyExists(ts::kFamily));
        TRegedit reg(key, HKEY_LOCAL_MACHINE);
        const long handlesBefore = regtest::OpenHandleCount();
        const Outcome got = Run([&] { return c.op(reg); });
        CHECK_FALSE(got.raised);
        CHECK(Narrow(got.text) == Narrow(c.expected));
        CHECK(ts::KeyExists(key.c_str()) == c.created);
        CHECK(ts::KeyExists(ts::kFamily) == c.created);
        CHECK(reg.Registry->CurrentKey() == nullptr);
        CHECK(regtest::OpenHandleCount() == handlesBefore);
        CHECK(reg.Registry->Access == static_cast<REGSAM>(KEY_ALL_ACCESS));
    }
}

TEST_CASE("a key that can be neither opened nor created") {
    const std::wstring parent = std::wstring(ts::kFamily) + L"\\Volatile";
    const std::wstring key = parent + L"\\Lasting";
    struct Case {
        const char* what;
        std::function<std::wstring(TRegedit&)> op;
        std::wstring expected;
        bool raises;
    } cases[] = {
        {"ReadString gives the default", [](TRegedit& r) { return r.ReadString(L"Product", L"<default>"); },
         L"<default>", false},
        {"GetValueNames gives an empty list",
         [](TRegedit& r) {
             TStringList list;
             list.Add(L"stale");
             r.GetValueNames(list);
             return Joined(list);
         },
         L"[]", false},
        {"ValueExists is false", [](TRegedit& r) { return r.ValueExists(L"Product") ? L"true" : L"false"; }, L"false",
         false},
        {"DeleteValue is false", [](TRegedit& r) { return r.DeleteValue(L"Product") ? L"true" : L"false"; }, L"false",
         false},
        {"WriteInteger raises",
         [](TRegedit& r) {
             r.WriteInteger(L"UninstallMode", 1);
             return L"written";
         },
         L"Failed to set data for 'UninstallMode'", true},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        CreateVolatileKey(parent);
        TRegedit reg(key, HKEY_LOCAL_MACHINE);
        const long handlesBefore = regtest::OpenHandleCount();
        const Outcome got = Run([&] { return c.op(reg); });
        CHECK(got.raised == c.raises);
        CHECK(Narrow(got.text) == Narrow(c.expected));
        CHECK_FALSE(ts::KeyExists(key.c_str()));
        CHECK(reg.Registry->CurrentKey() == nullptr);
        CHECK(regtest::OpenHandleCount() == handlesBefore);
    }
}

TEST_CASE("ValueExists, DeleteValue and WriteInteger on an existing key") {
    const DWORD seven = 7;
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
    } values[] = {
        {"REG_SZ", REG_SZ, Sz(L"x")},
        {"REG_DWORD", REG_DWORD, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&seven),
                                                   reinterpret_cast<const BYTE*>(&seven) + 4)},
        {"empty REG_BINARY", REG_BINARY, {}},
    };
    for (const auto& c : values) {
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        ts::SetRaw(kTestKey.c_str(), L"UninstallMode", c.type, c.data.data(), c.data.size());
        TRegedit reg(kTestKey, HKEY_LOCAL_MACHINE);
        const long handlesBefore = regtest::OpenHandleCount();
        CHECK(reg.ValueExists(L"UninstallMode"));
        CHECK_FALSE(reg.ValueExists(L"Other"));
        CHECK(reg.DeleteValue(L"UninstallMode"));
        CHECK_FALSE(ts::ValueExists(kTestKey.c_str(), L"UninstallMode"));
        CHECK_FALSE(reg.DeleteValue(L"UninstallMode"));
        CHECK_FALSE(reg.ValueExists(L"UninstallMode"));
        CHECK(regtest::OpenHandleCount() == handlesBefore);
    }
    // Writing replaces a value of the same name whatever its type.
    ts::ResetFamilyKey();
    ts::SetString(kTestKey.c_str(), L"UninstallMode", L"text");
    TRegedit reg(kTestKey, HKEY_LOCAL_MACHINE);
    reg.WriteInteger(L"UninstallMode", 1);
    DWORD v = 0;
    CHECK(ts::GetDword(kTestKey.c_str(), L"UninstallMode", v));
    CHECK(v == 1);
}

TEST_CASE("GetValueNames lists every name in the registry's order") {
    ts::ResetFamilyKey();
    const std::wstring longName(2000, L'n');
    // Inserted out of any sorted order; the default value comes as "".
    const std::wstring inserted[] = {L"beta", L"Alpha", L"", L"gamma", longName, L"Delta", L"Common"};
    for (const auto& n : inserted) ts::SetString(kTestKey.c_str(), n, L"cmd");

    const std::vector<std::wstring> raw = ts::ValueNames(kTestKey.c_str());
    REQUIRE(raw.size() == std::size(inserted));
    // The enumeration order is not plain code-unit order, so a list that
    // had been sorted would not match it.
    std::vector<std::wstring> sorted = raw;
    std::sort(sorted.begin(), sorted.end());
    REQUIRE(sorted != raw);

    TRegedit reg(kTestKey, HKEY_LOCAL_MACHINE);
    TStringList list;
    list.Add(L"stale");
    const long handlesBefore = regtest::OpenHandleCount();
    reg.GetValueNames(list);
    CHECK(regtest::OpenHandleCount() == handlesBefore);
    REQUIRE(list.Count() == static_cast<int>(raw.size()));
    for (int i = 0; i < list.Count(); ++i) {
        CAPTURE(i);
        CHECK(list[i] == raw[static_cast<size_t>(i)]);
    }
    CHECK(std::count(raw.begin(), raw.end(), L"") == 1);

    // A key without values empties the list it is given.
    ts::ResetFamilyKey();
    ts::SetString(kTestKey.c_str(), L"x", L"y");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kTestKey.c_str(), L"x");
    reg.GetValueNames(list);
    CHECK(list.Count() == 0);
}

TEST_CASE("the accessor opens nothing until an operation runs") {
    ts::ResetFamilyKey();
    const long handlesBefore = regtest::OpenHandleCount();
    {
        TRegedit reg(kTestKey, HKEY_LOCAL_MACHINE);
        CHECK(reg.KeyPath == kTestKey);
        CHECK(reg.Registry->RootKey == HKEY_LOCAL_MACHINE);
        CHECK(reg.Registry->Access == static_cast<REGSAM>(KEY_ALL_ACCESS));
        CHECK(reg.Registry->CurrentKey() == nullptr);
        CHECK_FALSE(ts::KeyExists(ts::kFamily));
    }
    CHECK(regtest::OpenHandleCount() == handlesBefore);
}
