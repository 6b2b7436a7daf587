// Unquoted program paths with spaces (CWE-428): which program a stored
// command starts, with a decoy planted where the path's first word points.
#include <doctest/doctest.h>

#include <algorithm>

#include "Hostile.h"
#include "uninstall/UninstallPass.h"

namespace {
std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

int IndexOf(const std::vector<std::wstring>& v, const std::wstring& item) {
    const auto it = std::find(v.begin(), v.end(), item);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}
}  // namespace

TEST_CASE("ExplicitProgramPath names the path only when Windows would search its prefixes") {
    const struct {
        const wchar_t* command;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Quill Apps\\Editor\\uninst.exe /x", L"C:\\Quill Apps\\Editor\\uninst.exe"},
        {L"C:\\Quill Apps\\Editor\\uninst.exe", L"C:\\Quill Apps\\Editor\\uninst.exe"},
        {L"C:\\Quill Apps\\Editor\\UNINST.EXE /S", L"C:\\Quill Apps\\Editor\\UNINST.EXE"},
        {L"C:\\Quill Apps\\Editor\\uninst.Exe", L"C:\\Quill Apps\\Editor\\uninst.Exe"},
        // ".exe" inside a word is not the end of the program's name.
        {L"C:\\Quill Apps\\x.exed\\uninst.exe /x", L"C:\\Quill Apps\\x.exed\\uninst.exe"},
        {L"C:\\Quill Apps\\x.exe.d\\uninst.exe", L"C:\\Quill Apps\\x.exe.d\\uninst.exe"},
        {L"C:\\Quill Apps\\x.exed", L""},
        // The first ".exe" that ends a word decides, even when more follow.
        {L"C:\\Quill Apps\\a.exe C:\\Other Dir\\b.exe", L"C:\\Quill Apps\\a.exe"},
        // No space before the ".exe": Windows finds the program itself.
        {L"C:\\Quill\\uninst.exe /x y z", L""},
        {L"C:\\Quill\\uninst.exe", L""},
        {L"uninst.exe /x", L""},
        // Quoted: Windows takes the quoted path as it is.
        {L"\"C:\\Quill Apps\\Editor\\uninst.exe\" /x", L""},
        {L"\"C:\\Quill Apps\\Editor\\uninst.exe", L""},
        // No ".exe" at all, or nothing.
        {L"C:\\Quill Apps\\Editor\\uninst /x", L""},
        {L"C:\\Quill Apps\\Editor\\exe", L""},
        {L".exe", L""},
        {L" .exe", L" .exe"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CAPTURE(Narrow(c.command));
        CHECK(Narrow(ExplicitProgramPath(c.command)) == Narrow(c.expected));
    }
}

namespace {
const wchar_t kAppsRoot[] = L"C:\\Quill Apps";
const wchar_t kEditorDir[] = L"C:\\Quill Apps\\Editor";
const wchar_t kTarget[] = L"C:\\Quill Apps\\Editor\\uninst.exe";
const wchar_t kDecoy[] = L"C:\\Quill.exe";
const wchar_t kDecoyLog[] = L"C:\\Quill.exe.log";

// The planted layout: the real uninstaller in a folder whose name has a
// space, and a decoy where the path's first word points. Removed again at
// the end.
class PlantedDecoy {
public:
    PlantedDecoy() {
        hostile::MakeDirs(kEditorDir);
        REQUIRE(hostile::CopyTo(ts::FixturePath(L"recorder.exe"), kTarget));
        REQUIRE(hostile::CopyTo(ts::FixturePath(L"decoy.exe"), kDecoy));
        DeleteFileW(kDecoyLog);
    }
    ~PlantedDecoy() {
        DeleteFileW(kDecoy);
        DeleteFileW(kDecoyLog);
        DeleteFileW(kTarget);
        RemoveDirectoryW(kEditorDir);
        RemoveDirectoryW(kAppsRoot);
    }
    PlantedDecoy(const PlantedDecoy&) = delete;
    PlantedDecoy& operator=(const PlantedDecoy&) = delete;
};

enum class Ran { Target, Decoy, Nothing };
const char* Name(Ran r) { return r == Ran::Target ? "target" : r == Ran::Decoy ? "decoy" : "nothing"; }

Ran WhoRan(const std::wstring& log, std::wstring& commandLine) {
    const auto target = hostile::ReadLog(log);
    const auto decoy = ts::ReadLines(kDecoyLog);
    commandLine.clear();
    if (!target.empty() && decoy.empty()) {
        commandLine = target.front().commandLine;
        return Ran::Target;
    }
    if (target.empty() && !decoy.empty()) {
        commandLine = decoy.front();
        return Ran::Decoy;
    }
    return target.empty() ? Ran::Nothing : Ran::Decoy;  // both ran: as bad as the decoy alone
}

struct DecoyCase {
    std::wstring command;
    Ran plain;      // CreateProcessW with no application name
    Ran pass;       // the program's pass
    bool rowStays;  // the start failed
};

void CheckDecoyCases(const std::vector<DecoyCase>& cases, const std::wstring& log) {
    for (const auto& c : cases) {
        CAPTURE(Narrow(c.command));
        // What a plain caller gets: Windows' search of the path's prefixes.
        DeleteFileW(log.c_str());
        DeleteFileW(kDecoyLog);
        DWORD exitCode = 0;
        std::wstring seen;
        const bool started = hostile::RunPlain(c.command + L" /silent", L"", exitCode);
        CHECK(started == (c.plain != Ran::Nothing));
        CHECK(std::string(Name(WhoRan(log, seen))) == Name(c.plain));

        // What the program does with the same stored command.
        DeleteFileW(log.c_str());
        DeleteFileW(kDecoyLog);
        ts::ResetFamilyKey();
        ts::SetString(ts::kUninstallPaths, L"Editor", c.command);
        ts::SetString(ts::kUninstallPaths, L"Keeper", L"");
        hostile::Window w;
        const int row = IndexOf(w.Captions(), L"Editor");
        REQUIRE(row >= 0);
        w.ClickRowBox(row);
        REQUIRE(ts::RowChecked(w.List(), row));
        w.ClickUninstall();
        const Ran ran = WhoRan(log, seen);
        CHECK(std::string(Name(ran)) == Name(c.pass));
        if (ran == Ran::Target) CHECK(Narrow(seen) == Narrow(c.command + L" /silent"));
        const int after = IndexOf(w.Captions(), L"Editor");
        CHECK((after >= 0) == c.rowStays);
        if (after >= 0) CHECK(ts::RowChecked(w.List(), after));
    }
    ts::ResetFamilyKey();
}
}  // namespace

TEST_CASE("a planted decoy: Windows' own parsing runs it, the uninstall pass runs the named program") {
    PlantedDecoy planted;
    const std::wstring log = ts::ScratchDir(L"decoy") + L"log.txt";
    const std::wstring args = L" --log " + log + L" --id p";
    CheckDecoyCases(
        {
            {kTarget + args, Ran::Decoy, Ran::Target, false},
            {L"C:\\Quill Apps\\Editor\\UNINST.EXE" + args, Ran::Decoy, Ran::Target, false},
            // The named file is missing: a failed start, not a search.
            {L"C:\\Quill Apps\\Editor\\gone.exe" + args, Ran::Decoy, Ran::Nothing, true},
            // Quoted commands were never at risk and start as before.
            {L"\"" + std::wstring(kTarget) + L"\"" + args, Ran::Target, Ran::Target, false},
        },
        log);
}

// Windows (and Wine) also end the program's name at a tab, which the search
// for the path does not yet treat like a space: these rows still run the
// decoy, as administrator, until it does.
TEST_CASE("a planted decoy behind a tab") {
    PlantedDecoy planted;
    const std::wstring log = ts::ScratchDir(L"decoy") + L"log.txt";
    const std::wstring args = L"--log " + log + L" --id p";
    CheckDecoyCases(
        {
            {std::wstring(kTarget) + L"\t" + args, Ran::Decoy, Ran::Target, false},
            {L"C:\\Quill\tApps\\Editor\\uninst.exe " + args, Ran::Decoy, Ran::Nothing, true},
        },
        log);
}
