// Whatever the product key holds, start-up ends in one of three ways: a row
// with the value's name and command, no row, or the start-up error box. It
// never crashes.
#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Hostile.h"
#include "platform/Registry.h"

namespace {
using Bytes = std::vector<BYTE>;

Bytes Utf16(const std::wstring& text, bool terminated) {
    Bytes b(reinterpret_cast<const BYTE*>(text.data()), reinterpret_cast<const BYTE*>(text.data() + text.size()));
    if (terminated) b.insert(b.end(), {0, 0});
    return b;
}
Bytes Sz(const std::wstring& text) { return Utf16(text, true); }

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c >= 32 && c < 128 ? static_cast<char>(c) : '?';
    return s.size() > 120 ? s.substr(0, 120) + "...(" + std::to_string(s.size()) + ")" : s;
}

// A value name as the registry holds it, NUL characters included; the
// documented functions stop a name at its first NUL, the native one does not.
void SetValueNative(const std::wstring& name, DWORD type, const Bytes& data) {
    struct CountedString {
        USHORT Length;
        USHORT MaximumLength;
        PWSTR Buffer;
    };
    using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, CountedString*, ULONG, ULONG, const void*, ULONG);
    auto setValue = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    REQUIRE(static_cast<bool>(setValue));
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ts::kUninstallPaths, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    std::wstring copy = name;
    CountedString counted{static_cast<USHORT>(copy.size() * sizeof(wchar_t)),
                          static_cast<USHORT>(copy.size() * sizeof(wchar_t)), &copy[0]};
    const LONG status = setValue(key, &counted, 0, type, data.data(), static_cast<ULONG>(data.size()));
    RegCloseKey(key);
    REQUIRE(status == 0);
}

enum class Outcome { Row, NoRow, ErrorBox, EmptyList };
// Pressing Uninstall with the row ticked: not tried; the start fails and the
// row stays ticked; or the command runs as stored + " /silent".
enum class Press { No, StartFails, Runs };

struct Value {
    std::wstring name;
    DWORD type;
    Bytes data;
};

struct Case {
    const char* what;
    std::vector<Value> values;  // under the product key; a NUL in a name is kept
    Outcome outcome;
    std::wstring caption;  // Row: the row's caption; ErrorBox: the box's text
    std::wstring command;  // Row: the row's command
    // Row: what happens when it is ticked and uninstalled.
    Press press = Press::No;
    std::function<void()> setup = nullptr;  // instead of `values`
    // Still fails under Wine, whose process start does not refuse it.
    bool wineGap = false;
};

const wchar_t kBadType[] = L"Invalid data type for 'v'";

// The product key cannot be created below a volatile family key.
void VolatileFamilyKey() {
    ts::ResetFamilyKey();
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ts::kFamily, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS);
    RegCloseKey(key);
    HKEY child = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, ts::kUninstallPaths, 0, nullptr, 0, KEY_READ, nullptr, &child,
                            nullptr) != ERROR_SUCCESS);
}

int IndexOf(const std::vector<std::wstring>& v, const std::wstring& item) {
    const auto it = std::find(v.begin(), v.end(), item);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

// Starts the real program and returns the start-up error box's text ("" when
// none came), having dismissed it and seen the process end with 0.
std::wstring StartUpErrorBox() {
    ts::Process program(L"\"" + ts::ProgramPath() + L"\"");
    REQUIRE(program.Started());
    HWND box = ts::WaitForWindow(program.Id(), L"#32770", L"Uninstall", 30000);
    if (!box) return L"";
    // Read whole: the text may be longer than a fixed buffer.
    HWND label = GetDlgItem(box, 0xFFFF);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(label, &text[0], static_cast<int>(text.size()))));
    ts::DismissMessageBox(box);
    REQUIRE(program.Wait(30000));
    CHECK(program.ExitCode() == 0);
    return text;
}

const std::wstring& LogPath() {
    static const std::wstring log = ts::ScratchDir(L"bad-registry") + L"log.txt";
    return log;
}

std::vector<Case> Cases() {
    const std::wstring& log = LogPath();
    const std::wstring longName(16383, L'n');
    const std::wstring megabyte(512 * 1024 - 1, L'x');
    // CreateProcessW takes at most 32,767 characters with the terminator.
    const std::wstring tooLong = hostile::RecorderCommand(log, std::wstring(40000, L'L'));
    // 32,767 characters with " /silent" and the terminator.
    const std::wstring recorder = hostile::RecorderCommand(log, L"");
    const std::wstring longest = recorder + std::wstring(32766 - 8 - recorder.size(), L'L');
    const DWORD dword = 0x00746d63;  // bytes that also spell "cm" in UTF-16
    const ULONGLONG qword = 1;

    const std::vector<Case> cases = {
        // Every value type, with data.
        {"REG_NONE", {{L"v", REG_NONE, Sz(L"cmd")}}, Outcome::ErrorBox, kBadType, L""},
        {"REG_SZ", {{L"v", REG_SZ, Sz(L"cmd /x")}}, Outcome::Row, L"v", L"cmd /x"},
        {"REG_EXPAND_SZ, unexpanded", {{L"v", REG_EXPAND_SZ, Sz(L"%WINDIR%\\u.exe")}}, Outcome::Row, L"v",
         L"%WINDIR%\\u.exe"},
        {"REG_BINARY", {{L"v", REG_BINARY, {1, 2, 3}}}, Outcome::ErrorBox, kBadType, L""},
        {"REG_DWORD", {{L"v", REG_DWORD, Bytes((BYTE*)&dword, (BYTE*)&dword + 4)}}, Outcome::ErrorBox, kBadType, L""},
        {"REG_DWORD_BIG_ENDIAN", {{L"v", REG_DWORD_BIG_ENDIAN, Bytes((BYTE*)&dword, (BYTE*)&dword + 4)}},
         Outcome::ErrorBox, kBadType, L""},
        {"REG_LINK", {{L"v", REG_LINK, Utf16(L"\\Registry\\Machine\\Software", false)}}, Outcome::ErrorBox, kBadType,
         L""},
        {"REG_MULTI_SZ", {{L"v", REG_MULTI_SZ, Utf16(std::wstring(L"a\0b\0", 4), true)}}, Outcome::ErrorBox, kBadType,
         L""},
        {"REG_QWORD", {{L"v", REG_QWORD, Bytes((BYTE*)&qword, (BYTE*)&qword + 8)}}, Outcome::ErrorBox, kBadType, L""},
        {"unknown type 0x7777", {{L"v", 0x7777, Sz(L"cmd")}}, Outcome::ErrorBox, kBadType, L""},
        // Zero-length data is an empty command, whatever the type.
        {"REG_NONE, empty", {{L"v", REG_NONE, {}}}, Outcome::Row, L"v", L""},
        {"REG_SZ, empty", {{L"v", REG_SZ, {}}}, Outcome::Row, L"v", L""},
        {"REG_DWORD, empty", {{L"v", REG_DWORD, {}}}, Outcome::Row, L"v", L""},
        {"REG_BINARY, empty", {{L"v", REG_BINARY, {}}}, Outcome::Row, L"v", L""},
        {"REG_MULTI_SZ, empty", {{L"v", REG_MULTI_SZ, {}}}, Outcome::Row, L"v", L""},
        {"REG_QWORD, empty", {{L"v", REG_QWORD, {}}}, Outcome::Row, L"v", L""},
        {"unknown type, empty", {{L"v", 0x7777, {}}}, Outcome::Row, L"v", L""},
        // Odd lengths: a half code unit is dropped.
        {"REG_SZ, 1 byte", {{L"v", REG_SZ, {'A'}}}, Outcome::Row, L"v", L""},
        {"REG_SZ, 3 bytes", {{L"v", REG_SZ, {'A', 0, 'B'}}}, Outcome::Row, L"v", L"A"},
        {"REG_EXPAND_SZ, 3 bytes", {{L"v", REG_EXPAND_SZ, {'A', 0, 'B'}}}, Outcome::Row, L"v", L"A"},
        {"REG_DWORD, 1 byte", {{L"v", REG_DWORD, {1}}}, Outcome::ErrorBox, kBadType, L""},
        {"REG_BINARY, 3 bytes", {{L"v", REG_BINARY, {'A', 0, 'B'}}}, Outcome::ErrorBox, kBadType, L""},
        // Terminators.
        {"no terminator", {{L"v", REG_SZ, Utf16(L"abc", false)}}, Outcome::Row, L"v", L"abc"},
        {"embedded NUL", {{L"v", REG_SZ, Sz(std::wstring(L"ab\0cd", 5))}}, Outcome::Row, L"v", L"ab"},
        {"only a NUL", {{L"v", REG_SZ, Sz(L"")}}, Outcome::Row, L"v", L""},
        // Size.
        {"1 MB REG_SZ", {{L"v", REG_SZ, Sz(megabyte)}}, Outcome::Row, L"v", megabyte, Press::StartFails},
        {"1 MB REG_BINARY", {{L"v", REG_BINARY, Bytes(1024 * 1024, 0x41)}}, Outcome::ErrorBox, kBadType, L""},
        {"command as long as CreateProcessW takes", {{L"v", REG_SZ, Sz(longest)}}, Outcome::Row, L"v", longest,
         Press::Runs},
        // Windows refuses it; Wine cuts it short, " /silent" included.
        {"command longer than CreateProcessW takes", {{L"v", REG_SZ, Sz(tooLong)}}, Outcome::Row, L"v", tooLong,
         Press::StartFails, nullptr, true},
        // Names.
        {"16,383-character name", {{longName, REG_SZ, Sz(L"cmd")}}, Outcome::Row, longName, L"cmd"},
        {"16,383-character name, REG_DWORD", {{longName, REG_DWORD, {1, 0, 0, 0}}}, Outcome::ErrorBox,
         L"Invalid data type for '" + longName + L"'", L""},
        {"surrogate pair", {{L"Quill \U0001F58B Editor", REG_SZ, Sz(L"cmd")}}, Outcome::Row, L"Quill \U0001F58B Editor",
         L"cmd"},
        {"lone surrogate", {{L"Quill \xD800 Editor", REG_SZ, Sz(L"cmd")}}, Outcome::Row, L"Quill \xD800 Editor",
         L"cmd"},
        {"right-to-left marks", {{L"\u200FQuill\u202E rotidE", REG_SZ, Sz(L"cmd")}}, Outcome::Row,
         L"\u200FQuill\u202E rotidE", L"cmd"},
        {"backslashes", {{L"\\Quill\\Editor\\", REG_SZ, Sz(L"cmd")}}, Outcome::Row, L"\\Quill\\Editor\\", L"cmd"},
        {"reserved name, bad type", {{L"Common", REG_BINARY, {1, 2, 3}}}, Outcome::NoRow, L"Common", L""},
        // A name enumerated with a NUL inside is read by the part before it:
        // as for a value that vanished after enumeration, the command is empty.
        {"enumerated name cannot be read back", {{std::wstring(L"Ghost\0tail", 10), REG_SZ, Sz(L"cmd")}},
         Outcome::Row, L"Ghost", L""},
        // ... and when the part before the NUL names another value, that one
        // is read, whatever the enumerated value's own type.
        {"enumerated value read as another of another type",
         {{std::wstring(L"v\0dword", 7), REG_DWORD, {1, 0, 0, 0}}, {L"v", REG_SZ, Sz(L"cmd")}}, Outcome::Row, L"v",
         L"cmd"},
        {"enumerated value read as another of a bad type",
         {{std::wstring(L"v\0text", 6), REG_SZ, Sz(L"cmd")}, {L"v", REG_DWORD, {1, 0, 0, 0}}}, Outcome::ErrorBox,
         kBadType, L""},
        {"key that cannot be opened", {}, Outcome::EmptyList, L"", L"", Press::No, VolatileFamilyKey},
    };
    return cases;
}

void CheckCases(bool wineGaps) {
    const std::wstring& log = LogPath();
    for (const auto& c : Cases()) {
        if (c.wineGap != wineGaps) continue;
        const std::string what = c.what;
        CAPTURE(what);
        ts::ResetFamilyKey();
        DeleteFileW(log.c_str());
        if (c.setup) c.setup();
        for (const auto& v : c.values) SetValueNative(v.name, v.type, v.data);
        if (c.press != Press::No) ts::SetString(ts::kUninstallPaths, L"Keeper", L"");

        switch (c.outcome) {
        case Outcome::ErrorBox:
            CHECK(Narrow(StartUpErrorBox()) == Narrow(c.caption));
            break;
        case Outcome::EmptyList: {
            hostile::Window w;
            CHECK(w.Captions().empty());
            CHECK(!IsWindowEnabled(w.All()));
            CHECK(!IsWindowEnabled(w.Button()));
            break;
        }
        case Outcome::NoRow: {
            hostile::Window w;
            CHECK(IndexOf(w.Captions(), c.caption) < 0);
            break;
        }
        case Outcome::Row: {
            hostile::Window w;
            const auto captions = w.Captions();
            const int row = IndexOf(captions, c.caption);
            REQUIRE(row >= 0);
            CHECK(Narrow(w.Commands()[static_cast<size_t>(row)]) == Narrow(c.command));
            CHECK(w.Commands()[static_cast<size_t>(row)].size() == c.command.size());
            if (c.press == Press::No) break;
            w.ClickRowBox(row);
            REQUIRE(ts::RowChecked(w.List(), row));
            w.ClickUninstall();
            CHECK(w.CloseCommandEnabled());
            const auto ran = hostile::ReadLog(log);
            if (c.press == Press::StartFails) {
                CHECK(w.Captions() == captions);
                CHECK(ts::RowChecked(w.List(), row));
                CHECK(ran.empty());
            } else {
                CHECK(IndexOf(w.Captions(), c.caption) < 0);
                REQUIRE(ran.size() == 2);
                CHECK(ran[0].commandLine == c.command + L" /silent");
            }
            break;
        }
        }
    }
    ts::ResetFamilyKey();
}
}  // namespace

TEST_CASE("bad registry input: a row, no row or the start-up error box, never a crash") { CheckCases(false); }

// Until the program refuses such a command line itself, Wine starts the
// uninstaller with its command cut short.
TEST_CASE("bad registry input that Wine's process start lets through") { CheckCases(true); }

namespace {
// Rewrites one value over and over: a command, a REG_DWORD, nothing, a
// longer command, until told to stop.
struct Flipper {
    volatile LONG stop = 0;
    std::wstring shortCommand = L"cmd";
    std::wstring longCommand = std::wstring(4000, L'c');

    static DWORD WINAPI Loop(void* self) {
        auto* f = static_cast<Flipper*>(self);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, ts::kUninstallPaths, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        const DWORD dword = 1;
        for (unsigned i = 0; !f->stop; ++i) {
            switch (i % 4) {
            case 0: RegSetValueExW(key, L"Flip", 0, REG_SZ, (const BYTE*)f->shortCommand.c_str(), 8); break;
            case 1: RegSetValueExW(key, L"Flip", 0, REG_DWORD, (const BYTE*)&dword, 4); break;
            case 2: RegDeleteValueW(key, L"Flip"); break;
            case 3:
                RegSetValueExW(key, L"Flip", 0, REG_SZ, (const BYTE*)f->longCommand.c_str(),
                               static_cast<DWORD>((f->longCommand.size() + 1) * 2));
                break;
            }
        }
        RegCloseKey(key);
        return 0;
    }
};
}  // namespace

// Not deterministic in which outcome each start meets, only in that every one
// of them is allowed: the value read is one that was really stored, or empty
// when it vanished, or the start-up error names the value; never a crash.
TEST_CASE("a value rewritten while the list loads") {
    ts::ResetFamilyKey();
    ts::SetString(ts::kUninstallPaths, L"Steady", L"steady");
    Flipper flipper;
    HANDLE thread = CreateThread(nullptr, 0, Flipper::Loop, &flipper, 0, nullptr);
    REQUIRE(thread != nullptr);
    ts::EnsureApplication();
    std::map<std::string, int> seen;
    for (int i = 0; i < 150; ++i) {
        std::string outcome;
        try {
            TfrmMain form(Application);
            const int n = form.lvApp->Count();
            CHECK(n >= 1);
            CHECK(n <= 2);
            for (int r = 0; r < n; ++r) {
                TListItem row = form.lvApp->Item(r);
                const UnicodeString command = row.SubItems()[0];
                if (row.Caption() == L"Steady") {
                    CHECK(Narrow(command) == "steady");
                } else {
                    CHECK(Narrow(row.Caption()) == "Flip");
                    const bool allowed = command.empty() || command == flipper.shortCommand ||
                                         command == flipper.longCommand;
                    CHECK(allowed);
                    outcome = command.empty() ? "row, empty command" : "row with a stored command";
                }
            }
            if (n == 1) outcome = "no Flip row";
            // Values are enumerated by index: one that goes and comes back
            // between two indexes shifts the next name onto the same index.
            if (n == 2 && form.lvApp->Item(0).Caption() == form.lvApp->Item(1).Caption())
                outcome = "Steady listed twice, Flip missed";
        } catch (const ERegistryException& e) {
            outcome = Narrow(e.Message());
            const bool allowed = outcome == "Invalid data type for 'Flip'" || outcome == "Failed to get data for 'Flip'";
            CHECK(allowed);
        }
        ++seen[outcome];
    }
    InterlockedExchange(&flipper.stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    for (const auto& s : seen) MESSAGE(s.first << ": " << s.second);
    ts::ResetFamilyKey();
}
