// What the program does once a pass has emptied its list, seen from outside:
// the real Uninstall.exe is started, "All applications" ticked and Uninstall
// pressed with posted mouse input; products run the recording uninstaller.
// The address handed to the shell reaches a recorder through the scheme's
// open command registered in the test prefix; the helper is a recorder
// copied into the documents folder. Every process the program starts, and
// everything those start, runs inside a job object, so the test knows how
// many were started and when all have ended, without waiting on the clock.
//
// What Wine 8 does with the addresses involved (measured):
// - "https://...": HKCR\https\shell\open\command runs winebrowser.exe "%1",
//   which tries the programs in HKCU\Software\Wine\WineBrowser "Browsers"
//   (empty in the test prefix, so none). The tests point that command at the
//   recorder for the run and restore it afterwards.
// - "" (an empty target): ShellExecuteW returns 11 (bad format) and starts
//   nothing; the program goes on regardless.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "uninstall/FinishActions.h"

namespace doctest {
template <>
struct StringMaker<std::wstring> {
    static String convert(const std::wstring& w) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
        std::string s(static_cast<size_t>(n), '\0');
        if (n) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
        return String(("\"" + s + "\"").c_str());
    }
};
}  // namespace doctest

namespace {

const wchar_t kLogVariable[] = L"UNINSTALL_FINISH_LOG";
const wchar_t kTestScheme[] = L"qbktest";
const wchar_t kFarewell[] = L"qbktest://farewell";
const wchar_t kHttpsCommand[] = L"SOFTWARE\\Classes\\https\\shell\\open\\command";
const wchar_t kTestSchemeKey[] = L"SOFTWARE\\Classes\\qbktest";
const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const DWORD kLongWait = 60000;  // only stops a hang

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// One registry value as it was, put back (or removed again) on destruction.
class SavedValue {
public:
    SavedValue(HKEY root, std::wstring key, std::wstring name) : root_(root), key_(std::move(key)), name_(std::move(name)) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExW(h, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            existed_ = RegQueryValueExW(h, name_.c_str(), nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
        }
        RegCloseKey(h);
    }
    ~SavedValue() {
        HKEY h = nullptr;
        if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return;
        if (existed_)
            RegSetValueExW(h, name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueW(h, name_.c_str());
        RegCloseKey(h);
    }
    void Set(DWORD type, const std::wstring& text) const {
        HKEY h = nullptr;
        REQUIRE(RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) ==
                ERROR_SUCCESS);
        RegSetValueExW(h, name_.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY root_;
    std::wstring key_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

std::wstring LinkCommand() { return Quoted(ts::FixturePath(L"finish_recorder.exe")) + L" --link \"%1\""; }

// The test scheme and the https scheme both open through the recorder for
// as long as this lives.
class AddressRecorder {
public:
    AddressRecorder() : https_(HKEY_LOCAL_MACHINE, kHttpsCommand, L"") {
        https_.Set(REG_SZ, LinkCommand());
        ts::SetString(kTestSchemeKey, L"URL Protocol", L"");
        ts::SetString((std::wstring(kTestSchemeKey) + L"\\shell\\open\\command").c_str(), L"", LinkCommand());
    }
    ~AddressRecorder() { ts::DeleteKeyTree(kTestSchemeKey); }

private:
    SavedValue https_;
};

// The documents folder as the shell reports it to this process.
std::wstring Documents() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
    return path;
}

// Moves the current user's documents folder for as long as this lives.
class DocumentsAt {
public:
    explicit DocumentsAt(const std::wstring& folder)
        : user_(HKEY_CURRENT_USER, kUserShellFolders, L"Personal"), shell_(HKEY_CURRENT_USER, kShellFolders, L"Personal") {
        user_.Set(REG_EXPAND_SZ, folder);
        shell_.Set(REG_SZ, folder);
    }

private:
    SavedValue user_, shell_;
};

enum class Link { NoKey, NoValue, Stored, Empty };
enum class Helper { File, Folder, Absent };
enum class Docs { Usual, DriveRoot, BeyondAnsi, Missing };

const wchar_t kBeyondAnsi[] = L"Документы 文書";

// Where the documents folder is moved for a case; empty for the usual one.
std::wstring DocumentsFolderFor(Docs docs) {
    switch (docs) {
    case Docs::Usual: return std::wstring();
    case Docs::DriveRoot: return L"C:\\";
    case Docs::BeyondAnsi: return ts::ScratchDir(L"finish-docs") + kBeyondAnsi;
    case Docs::Missing: return ts::ScratchDir(L"finish-docs") + L"not-there";
    }
    return std::wstring();
}

// The helper (or a folder in its place) below the documents folder, removed
// again on destruction.
class PlacedHelper {
public:
    PlacedHelper(const std::wstring& documents, Helper kind) {
        if (documents.empty() || kind == Helper::Absent) return;
        folder_ = documents + (documents.back() == L'\\' ? L"" : L"\\") + L"Quillbrook";
        path_ = folder_ + L"\\QbkUninstall.exe";
        CreateDirectoryW(folder_.c_str(), nullptr);
        if (kind == Helper::File)
            REQUIRE(CopyFileW(ts::FixturePath(L"finish_recorder.exe").c_str(), path_.c_str(), FALSE));
        else
            REQUIRE(CreateDirectoryW(path_.c_str(), nullptr));
    }
    ~PlacedHelper() {
        if (path_.empty()) return;
        if (!DeleteFileW(path_.c_str())) RemoveDirectoryW(path_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring folder_, path_;
};

struct Record {
    std::wstring kind, program, arguments;
    unsigned long long created = 0;
};

// The program under test, started inside a job that gathers every process
// it starts.
class RunningProgram {
public:
    explicit RunningProgram(const std::wstring& log) {
        SetEnvironmentVariableW(kLogVariable, log.c_str());
        job_ = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        process_ = std::make_unique<ts::Process>(Quoted(ts::ProgramPath()));
        SetEnvironmentVariableW(kLogVariable, nullptr);
        REQUIRE(process_->Started());
        // Nothing is started before the test presses Uninstall.
        REQUIRE(AssignProcessToJobObject(job_, process_->Handle()));
    }
    ~RunningProgram() {
        process_.reset();
        CloseHandle(job_);  // ends whatever is left
    }
    ts::Process& Process() { return *process_; }

    // Processes started in the job so far, the program included.
    DWORD Started() const { return Accounting().TotalProcesses; }

    // Waits until every process of the job has ended.
    bool AllEnded(DWORD ms) const {
        const DWORD start = GetTickCount();
        while (Accounting().ActiveProcesses != 0) {
            if (GetTickCount() - start > ms) return false;
            Sleep(20);
        }
        return true;
    }

private:
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting() const {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr);
        return info;
    }

    HANDLE job_ = nullptr;
    std::unique_ptr<ts::Process> process_;
};

bool WaitUntil(DWORD ms, bool (*done)(HWND), HWND hwnd) {
    const DWORD start = GetTickCount();
    while (!done(hwnd)) {
        if (GetTickCount() - start > ms) return false;
        Sleep(20);
    }
    return true;
}

POINT Center(HWND control) {
    RECT rc;
    GetClientRect(control, &rc);
    return POINT{rc.right / 2, rc.bottom / 2};
}

// Ticks "All applications" and presses Uninstall with posted mouse input.
HWND TickAllAndPressUninstall(ts::Process& program, int line) {
    INFO("from line " << line);
    HWND window = ts::WaitForWindow(program.Id(), L"TfrmMain", L"Uninstall", kLongWait);
    REQUIRE(window != nullptr);
    HWND button = ts::ChildOfClass(window, L"Button", 0);
    HWND all = ts::ChildOfClass(window, L"Button", 1);
    REQUIRE(ts::WindowText(button) == L"Uninstall");
    REQUIRE(ts::WindowText(all) == L"All applications");
    const POINT a = Center(all);
    ts::PostClick(all, a.x, a.y);
    REQUIRE(WaitUntil(kLongWait, [](HWND b) { return IsWindowEnabled(b) != FALSE; }, button));
    REQUIRE(ts::ButtonChecked(all));
    const POINT b = Center(button);
    ts::PostClick(button, b.x, b.y);
    return window;
}

// A click on the caption's close button, which the system honours only
// while the window's Close command is enabled (the menu is another
// process's, so its state cannot be read from here).
void ClickCloseButton(HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    POINT at{-1, -1};
    for (int y = rc.top; y < rc.top + 40 && at.x < 0; ++y)
        for (int x = rc.right - 1; x > rc.right - 80 && at.x < 0; --x)
            if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) at = POINT{x, y};
    REQUIRE(at.x >= 0);
    SetCursorPos(at.x, at.y);
    PostMessageW(window, WM_NCLBUTTONDOWN, HTCLOSE, MAKELPARAM(at.x, at.y));
    POINT client = at;
    ScreenToClient(window, &client);
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
}

const wchar_t* const kProducts[] = {L"Alpha Studio", L"Beta Tools"};

// Products whose uninstall commands run the recording uninstaller.
std::wstring ListProducts() {
    const std::wstring log = ts::ScratchDir(L"finish-products") + L"uninstallers.log";
    for (const wchar_t* name : kProducts)
        ts::SetString(ts::kUninstallPaths, name,
                      Quoted(ts::FixturePath(L"recorder.exe")) + L" --log " + Quoted(log) + L" --id \"" + name + L"\"");
    return log;
}

int UninstallerStarts(const std::wstring& log) {
    int starts = 0;
    for (const auto& line : ts::ReadLines(log))
        if (line.compare(0, 6, L"start\t") == 0) ++starts;
    return starts;
}

std::vector<Record> ReadRecords(const std::wstring& log) {
    std::vector<Record> records;
    for (const auto& line : ts::ReadLines(log)) {
        const auto f = ts::SplitTabs(line);
        if (f.size() != 4) continue;
        records.push_back(Record{f[0], f[2], f[3], std::stoull(f[1])});
    }
    return records;
}

const Record* Find(const std::vector<Record>& records, const wchar_t* kind) {
    for (const auto& r : records)
        if (r.kind == kind) return &r;
    return nullptr;
}

struct FinishCase {
    int line;
    const char* what;
    Link link;
    const wchar_t* stored;  // the "Uninstall" value when Link::Stored
    Helper helper;
    Docs docs;
    const wchar_t* opened;  // what the address's handler receives; null: nothing started
    bool helperStarts;
};

}  // namespace

TEST_CASE("a pass that empties the list opens the farewell address, closes the window and starts the helper") {
    const std::wstring defaultOpened = Quoted(kDefaultLink);
    const std::wstring farewellOpened = Quoted(kFarewell);
    const FinishCase cases[] = {
        {__LINE__, "stored address, helper present", Link::Stored, kFarewell, Helper::File, Docs::Usual,
         farewellOpened.c_str(), true},
        {__LINE__, "no Links key: the default", Link::NoKey, nullptr, Helper::File, Docs::Usual, defaultOpened.c_str(),
         true},
        {__LINE__, "no Uninstall value: the default", Link::NoValue, nullptr, Helper::File, Docs::Usual,
         defaultOpened.c_str(), true},
        {__LINE__, "empty value: an empty target, nothing opened, the rest goes on", Link::Empty, nullptr, Helper::File,
         Docs::Usual, nullptr, true},
        {__LINE__, "a folder in the helper's place", Link::Stored, kFarewell, Helper::Folder, Docs::Usual,
         farewellOpened.c_str(), false},
        {__LINE__, "helper absent", Link::Stored, kFarewell, Helper::Absent, Docs::Usual, farewellOpened.c_str(), false},
        {__LINE__, "documents at a drive root", Link::Stored, kFarewell, Helper::File, Docs::DriveRoot,
         farewellOpened.c_str(), true},
        {__LINE__, "documents beyond the ANSI code page", Link::Stored, kFarewell, Helper::File, Docs::BeyondAnsi,
         farewellOpened.c_str(), true},
        {__LINE__, "documents folder that cannot be determined", Link::Stored, kFarewell, Helper::Absent, Docs::Missing,
         farewellOpened.c_str(), false},
    };
    AddressRecorder addresses;
    for (const auto& c : cases) {
        INFO("case at line " << c.line << ": " << std::string(c.what));
        ts::ResetFamilyKey();
        const std::wstring uninstallLog = ListProducts();
        switch (c.link) {
        case Link::NoKey: break;
        case Link::NoValue: ts::SetString(ts::kLinks, L"Other", kFarewell); break;
        case Link::Empty: ts::SetString(ts::kLinks, L"Uninstall", L""); break;
        case Link::Stored: ts::SetString(ts::kLinks, L"Uninstall", c.stored); break;
        }

        // Emptied again by the next case's DocumentsFolderFor.
        const std::wstring moved = DocumentsFolderFor(c.docs);
        if (c.docs == Docs::BeyondAnsi) REQUIRE(CreateDirectoryW(moved.c_str(), nullptr));
        std::unique_ptr<DocumentsAt> documentsAt;
        if (!moved.empty()) documentsAt = std::make_unique<DocumentsAt>(moved);
        const std::wstring documents = Documents();
        if (c.docs == Docs::Missing)
            REQUIRE(documents.empty());
        else if (!moved.empty())
            REQUIRE(documents == moved);
        PlacedHelper helper(documents, c.helper);

        const std::wstring log = ts::ScratchDir(L"finish-log") + L"finish.log";
        RunningProgram program(log);
        TickAllAndPressUninstall(program.Process(), c.line);

        // The program ends by itself, with exit code 0.
        REQUIRE(program.Process().Wait(kLongWait));
        CHECK(program.Process().ExitCode() == 0);
        REQUIRE(program.AllEnded(kLongWait));

        // Every product's uninstaller ran in the one pass.
        CHECK(UninstallerStarts(uninstallLog) == 2);
        const auto records = ReadRecords(log);
        const Record* link = Find(records, L"link");
        const Record* started = Find(records, L"helper");
        CHECK(program.Started() == 1 + 2 + (c.opened ? 1 : 0) + (c.helperStarts ? 1 : 0));

        if (c.opened) {
            CHECK(link != nullptr);
            if (link) CHECK(link->arguments == std::wstring(c.opened));
        } else {
            CHECK(link == nullptr);
        }
        if (c.helperStarts && started == nullptr) {
            FAIL_CHECK("the helper was not started");
        } else if (c.helperStarts) {
            // Exactly the parameter text, with the id the test got at start.
            CHECK(started->arguments == L"PROCESSID-" + std::to_wstring(program.Process().Id()));
            CHECK(started->program == helper.Path());
            CHECK(started->program.find(L"\\\\") == std::wstring::npos);
            // Started after the address was handed over.
            if (link) CHECK(link->created < started->created);
        } else {
            CHECK(started == nullptr);
        }

        if (c.link == Link::NoKey) {
            // Created, and left empty.
            CHECK(ts::KeyExists(ts::kLinks));
            CHECK_FALSE(ts::ValueExists(ts::kLinks, L"Uninstall"));
        }
    }
    ts::ResetFamilyKey();
}

TEST_CASE("an address of another type: the error is shown, the window stays open and closable, no helper") {
    AddressRecorder addresses;
    ts::ResetFamilyKey();
    const std::wstring uninstallLog = ListProducts();
    ts::SetDword(ts::kLinks, L"Uninstall", 1);
    PlacedHelper helper(Documents(), Helper::File);
    const std::wstring log = ts::ScratchDir(L"finish-log") + L"finish.log";
    RunningProgram program(log);
    HWND window = TickAllAndPressUninstall(program.Process(), __LINE__);

    HWND box = ts::WaitForWindow(program.Process().Id(), L"#32770", L"Uninstall", kLongWait);
    REQUIRE(box != nullptr);
    CHECK(ts::MessageBoxText(box) == L"Invalid data type for 'Uninstall'");
    // Whatever the pass started had been started before the box showed.
    CHECK(UninstallerStarts(uninstallLog) == 2);
    CHECK(program.Started() == 1 + 2);
    ts::DismissMessageBox(box);

    REQUIRE(WaitUntil(kLongWait, [](HWND w) { return !IsWindow(w) || IsWindowEnabled(w) != FALSE; }, window));
    CHECK(IsWindowVisible(window));
    HWND list = ts::ChildOfClass(window, L"SysListView32");
    CHECK(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0);
    CHECK(program.Started() == 1 + 2);

    // The close button answers only while the Close command is enabled; the
    // program then ends with 0.
    ClickCloseButton(window);
    REQUIRE(program.Process().Wait(kLongWait));
    CHECK(program.Process().ExitCode() == 0);
    REQUIRE(program.AllEnded(kLongWait));
    CHECK(program.Started() == 1 + 2);
    CHECK(ReadRecords(log).empty());
    ts::ResetFamilyKey();
}
