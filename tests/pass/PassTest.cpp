// The uninstall pass behind the Uninstall button, run in the real window
// against real registry fixtures, with the recorder standing in for the
// products' uninstallers.
#include <doctest/doctest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"

namespace {
std::string Narrow(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    if (n) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::string Joined(const std::vector<std::wstring>& items) {
    std::string s;
    for (const auto& item : items) s += (s.empty() ? "" : " | ") + Narrow(item);
    return s;
}

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// One test's folder, log and recorder commands.
struct Scratch {
    std::wstring dir;
    std::wstring log;
    explicit Scratch(const wchar_t* tag) : dir(ts::ScratchDir(tag)), log(dir + L"log.txt") {}
    // A command that runs the recorder as `id`, with any further options.
    std::wstring Recorder(const std::wstring& id, const std::wstring& options = L"") const {
        return Quoted(ts::FixturePath(L"recorder.exe")) + L" --log " + Quoted(log) + L" --id " + id +
               (options.empty() ? L"" : L" " + options);
    }
};

struct LogLine {
    std::wstring kind, id, pid, marker, overlap, commandLine;
};

std::vector<LogLine> ReadLog(const std::wstring& path) {
    std::vector<LogLine> lines;
    for (const auto& text : ts::ReadLines(path)) {
        std::vector<std::wstring> f;
        size_t at = 0;
        // The command line comes last and may itself hold tabs.
        while (f.size() < 5) {
            const size_t tab = text.find(L'\t', at);
            if (tab == std::wstring::npos) break;
            f.push_back(text.substr(at, tab - at));
            at = tab + 1;
        }
        f.push_back(text.substr(at));
        f.resize(6);
        lines.push_back(LogLine{f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    return lines;
}

// "start A", "end A", ... as the recorders wrote them.
std::vector<std::wstring> Sequence(const std::vector<LogLine>& log) {
    std::vector<std::wstring> seq;
    for (const auto& l : log) seq.push_back(l.kind + L" " + l.id);
    return seq;
}

// The log of `ids` run strictly one after another in this order.
std::vector<std::wstring> OneAtATime(const std::vector<std::wstring>& ids) {
    std::vector<std::wstring> seq;
    for (const auto& id : ids) {
        seq.push_back(L"start " + id);
        seq.push_back(L"end " + id);
    }
    return seq;
}

std::vector<LogLine> Starts(const std::vector<LogLine>& log) {
    std::vector<LogLine> starts;
    for (const auto& l : log)
        if (l.kind == L"start") starts.push_back(l);
    return starts;
}

bool CloseEnabled(HWND window) {
    const UINT state = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_DISABLED | MF_GRAYED));
}

struct Product {
    std::wstring name;
    std::wstring command;
    bool ticked;
    DWORD type = REG_SZ;
};

// A row as the list shows it: "name [x]" when ticked, "name [ ]" when not.
std::wstring RowText(const std::wstring& name, bool ticked) { return name + (ticked ? L" [x]" : L" [ ]"); }

// The real main window over a fresh product key, its rows ticked by clicks.
class PassWindow {
public:
    explicit PassWindow(const std::vector<Product>& products) {
        ts::EnsureApplication();
        ts::ResetFamilyKey();
        for (const auto& p : products) ts::SetString(ts::kUninstallPaths, p.name, p.command, p.type);
        form_ = new TfrmMain(Application);
        form_->Show();
        ts::PumpMessages();
        std::vector<std::wstring> expected;
        for (const auto& p : products) expected.push_back(RowText(p.name, p.ticked));
        HWND list = form_->lvApp->Handle();
        for (size_t i = 0; i < products.size(); ++i) {
            if (!products[i].ticked) continue;
            const POINT box = ts::RowCheckBoxPoint(list, static_cast<int>(i));
            ts::PostClick(list, box.x, box.y);
            ts::PumpMessages();
        }
        REQUIRE(Joined(Rows()) == Joined(expected));
    }
    ~PassWindow() {
        delete form_;
        ts::PumpMessages();
    }
    PassWindow(const PassWindow&) = delete;
    PassWindow& operator=(const PassWindow&) = delete;

    HWND Handle() const { return form_->Handle(); }
    HWND List() const { return form_->lvApp->Handle(); }

    // A real click on Uninstall; the pass runs inside it.
    void ClickUninstall() {
        HWND button = form_->btnProcess->Handle();
        RECT rc;
        GetClientRect(button, &rc);
        ts::PostClick(button, rc.right / 2, rc.bottom / 2);
        ts::PumpMessages();
    }

    std::vector<std::wstring> Rows() {
        std::vector<std::wstring> rows;
        for (int i = 0; i < form_->lvApp->Count(); ++i) {
            TListItem row = form_->lvApp->Item(i);
            // What the control shows, not only what the framework keeps.
            CHECK(row.Checked() == ts::RowChecked(form_->lvApp->Handle(), i));
            rows.push_back(RowText(row.Caption(), row.Checked()));
        }
        return rows;
    }
    bool ButtonEnabled() const { return IsWindowEnabled(form_->btnProcess->Handle()) != FALSE; }
    bool AllChecked() const { return ts::ButtonChecked(form_->chAll->Handle()); }

private:
    TfrmMain* form_ = nullptr;
};

// Runs `body` on a second thread while the UI thread is inside a pass. It
// must not assert (the test framework is single-threaded): it records.
class Watcher {
public:
    explicit Watcher(std::function<void()> body) : body_(std::move(body)) {
        thread_ = CreateThread(nullptr, 0, &Watcher::Run, this, 0, nullptr);
        REQUIRE(thread_ != nullptr);
    }
    ~Watcher() { Join(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    void Join() {
        if (!thread_) return;
        WaitForSingleObject(thread_, 180000);
        CloseHandle(thread_);
        thread_ = nullptr;
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<Watcher*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE thread_ = nullptr;
};

// The pair of events a recorder started with --hold NAME meets.
class Hold {
public:
    explicit Hold(const std::wstring& tag)
        : name_(L"Local\\PassTestHold-" + tag + L"-" + std::to_wstring(GetCurrentProcessId())),
          started_(CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-started").c_str())),
          release_(CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-release").c_str())) {}
    ~Hold() {
        SetEvent(release_);
        CloseHandle(started_);
        CloseHandle(release_);
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    const std::wstring& Name() const { return name_; }
    // Generous: only stops a hang when the recorder never comes.
    bool WaitStarted() const { return WaitForSingleObject(started_, 60000) == WAIT_OBJECT_0; }
    void Release() const { SetEvent(release_); }

private:
    std::wstring name_;
    HANDLE started_;
    HANDLE release_;
};

DWORD ValueCount(const wchar_t* key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(h);
    return count;
}

const wchar_t kMarker[] = L"UninstallMode";

// Gives a key a DACL that lets everyone do anything but set values, and
// puts the old DACL back when it goes.
class DenyValueWrites {
public:
    explicit DenyValueWrites(const wchar_t* path) : path_(path) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        old_.resize(size);
        if (!size || RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, old_.data(), &size) != ERROR_SUCCESS) return;

        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
        std::vector<BYTE> acl(sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone)));
        auto* dacl = reinterpret_cast<ACL*>(acl.data());
        SECURITY_DESCRIPTOR sd;
        applied_ = InitializeAcl(dacl, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
                   AddAccessDeniedAce(dacl, ACL_REVISION, KEY_SET_VALUE, everyone) &&
                   AddAccessAllowedAce(dacl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
                   InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                   SetSecurityDescriptorDacl(&sd, TRUE, dacl, FALSE) &&
                   RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
        FreeSid(everyone);
    }
    ~DenyValueWrites() { Restore(); }
    DenyValueWrites(const DenyValueWrites&) = delete;
    DenyValueWrites& operator=(const DenyValueWrites&) = delete;

    // Whether a full-access open, as the marker write does it, is refused.
    bool Denies() const {
        HKEY h = nullptr;
        const LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_, 0, KEY_ALL_ACCESS, &h);
        if (rc == ERROR_SUCCESS) RegCloseKey(h);
        return applied_ && rc == ERROR_ACCESS_DENIED;
    }
    void Restore() {
        if (!key_) return;
        if (applied_) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, old_.data());
        RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    const wchar_t* path_;
    HKEY key_ = nullptr;
    std::vector<BYTE> old_;
    bool applied_ = false;
};
}  // namespace

TEST_CASE("each uninstaller gets its stored command with \" /silent\" appended, nothing else changed") {
    Scratch s(L"pass-command");
    const std::wstring recorder = ts::FixturePath(L"recorder.exe");
    REQUIRE(recorder.find(L' ') == std::wstring::npos);  // the unquoted case needs a path without spaces
    const std::vector<Product> products = {
        {L"01 quoted program", s.Recorder(L"q1"), true},
        {L"02 unquoted program", recorder + L" --log " + Quoted(s.log) + L" --id q2", true},
        {L"03 trailing spaces kept", s.Recorder(L"q3") + L"   ", true},
        {L"04 inner spacing kept", Quoted(recorder) + L"   --log  " + Quoted(s.log) + L"\t--id   q4", true},
        {L"05 quotes inside kept", s.Recorder(L"\"q 5\""), true},
        {L"06 references not expanded", s.Recorder(L"q6", L"%SystemRoot% %%x"), true, REG_EXPAND_SZ},
        {L"07 a switch already there", s.Recorder(L"q7", L"/silent"), true},
        {L"08 left alone", s.Recorder(L"left"), false},
    };
    PassWindow w(products);
    w.ClickUninstall();

    std::vector<std::wstring> expected;
    for (const auto& p : products)
        if (p.ticked) expected.push_back(p.command + L" /silent");
    std::vector<std::wstring> got;
    for (const auto& start : Starts(ReadLog(s.log))) got.push_back(start.commandLine);
    REQUIRE(got.size() == expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        CAPTURE(Narrow(products[i].name));
        CHECK(Narrow(got[i]) == Narrow(expected[i]));
    }
    CHECK(Joined(w.Rows()) == Narrow(RowText(L"08 left alone", false)));
}

TEST_CASE("ticked rows run one at a time, top to bottom, and each row that ran is dropped") {
    Scratch s(L"pass-order");
    struct Case {
        const char* what;
        std::vector<Product> products;
        std::vector<std::wstring> ran;   // ids, in order
        std::vector<std::wstring> rows;  // what stays
        bool buttonEnabled;
        bool allChecked;
    };
    const std::wstring missing = Quoted(s.dir + L"missing.exe") + L" --log " + Quoted(s.log) + L" --id E";
    const Case cases[] = {
        {"three adjacent ticked rows are all processed",
         {{L"1 A", s.Recorder(L"A"), true},
          {L"2 B", s.Recorder(L"B"), true},
          {L"3 C", s.Recorder(L"C"), true},
          {L"4 D", s.Recorder(L"D"), false}},
         {L"A", L"B", L"C"},
         {RowText(L"4 D", false)},
         false,
         false},
        {"rows between unticked rows, none skipped",
         {{L"1 A", s.Recorder(L"A"), false},
          {L"2 B", s.Recorder(L"B"), true},
          {L"3 C", s.Recorder(L"C"), false},
          {L"4 D", s.Recorder(L"D"), true},
          {L"5 E", s.Recorder(L"E"), true}},
         {L"B", L"D", L"E"},
         {RowText(L"1 A", false), RowText(L"3 C", false)},
         false,
         false},
        {"a failure exit code still drops the row",
         {{L"1 A", s.Recorder(L"A", L"--exit 3"), true},
          {L"2 B", s.Recorder(L"B", L"--exit -1"), true},
          {L"3 C", s.Recorder(L"C"), false}},
         {L"A", L"B"},
         {RowText(L"3 C", false)},
         false,
         false},
        {"a shared command runs once and every ticked row with it goes",
         {{L"1 A", s.Recorder(L"S"), true},
          {L"2 B", s.Recorder(L"S"), true},
          {L"3 C", s.Recorder(L"T"), true},
          {L"4 D", s.Recorder(L"S"), true},
          {L"5 E", s.Recorder(L"U"), false}},
         {L"S", L"T"},
         {RowText(L"5 E", false)},
         false,
         false},
        {"commands differing only in letter case run separately",
         {{L"1 A", s.Recorder(L"case"), true},
          {L"2 B", s.Recorder(L"CASE"), true},
          {L"3 C", s.Recorder(L"C"), false}},
         {L"case", L"CASE"},
         {RowText(L"3 C", false)},
         false,
         false},
        {"an unticked row stays though its command ran",
         {{L"1 A", s.Recorder(L"U"), true},
          {L"2 B", s.Recorder(L"U"), false},
          {L"3 C", s.Recorder(L"V"), true}},
         {L"U", L"V"},
         {RowText(L"2 B", false)},
         false,
         false},
        {"a ticked row with an empty command stays ticked",
         {{L"1 A", L"", true}, {L"2 B", s.Recorder(L"W"), true}, {L"3 C", s.Recorder(L"X"), false}},
         {L"W"},
         {RowText(L"1 A", true), RowText(L"3 C", false)},
         true,
         false},
        {"all of it in one pass",
         {{L"1 A", s.Recorder(L"A"), true},
          {L"2 B", L"", true},
          {L"3 C", s.Recorder(L"S", L"--exit 5"), true},
          {L"4 D", s.Recorder(L"D"), false},
          {L"5 E", missing, true},
          {L"6 F", s.Recorder(L"S", L"--exit 5"), true},
          {L"7 G", s.Recorder(L"s", L"--exit 5"), true},
          {L"8 H", missing, true},
          {L"9 I", s.Recorder(L"D"), true}},
         {L"A", L"S", L"s", L"D"},
         {RowText(L"2 B", true), RowText(L"4 D", false), RowText(L"5 E", true)},
         true,
         false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        ts::ScratchDir(L"pass-order");
        PassWindow w(c.products);
        CHECK(CloseEnabled(w.Handle()));
        const long handlesBefore = ts::HandleCount();
        w.ClickUninstall();
        const auto log = ReadLog(s.log);
        CHECK(Joined(Sequence(log)) == Joined(OneAtATime(c.ran)));
        for (const auto& start : Starts(log)) CHECK(start.overlap == L"0");
        CHECK(Joined(w.Rows()) == Joined(c.rows));
        CHECK(CloseEnabled(w.Handle()));
        CHECK(w.ButtonEnabled() == c.buttonEnabled);
        CHECK(w.AllChecked() == c.allChecked);
        CHECK(ts::HandleCount() == handlesBefore);
    }
}

TEST_CASE("a command that fails to start: its row stays ticked, its twins go untried, the next pass tries it") {
    Scratch s(L"pass-failed-start");
    // Missing until the second row's recorder copies itself there.
    const std::wstring late = s.dir + L"late.exe";
    const std::wstring failing = Quoted(late) + L" --log " + Quoted(s.log) + L" --id X";
    PassWindow w({{L"1 First", failing, true},
                  {L"2 Maker", s.Recorder(L"M", L"--copy-self " + Quoted(late)), true},
                  {L"3 Twin", failing, true},
                  {L"4 Other", s.Recorder(L"O"), false}});

    w.ClickUninstall();
    REQUIRE(ts::PathIsFile(late));  // the twin could have started, had it been tried
    CHECK(Joined(Sequence(ReadLog(s.log))) == Joined(OneAtATime({L"M"})));
    CHECK(Joined(w.Rows()) == Joined({RowText(L"1 First", true), RowText(L"4 Other", false)}));
    CHECK(CloseEnabled(w.Handle()));
    CHECK(w.ButtonEnabled());
    CHECK_FALSE(w.AllChecked());

    w.ClickUninstall();
    CHECK(Joined(Sequence(ReadLog(s.log))) == Joined(OneAtATime({L"M", L"X"})));
    CHECK(Joined(w.Rows()) == Joined({RowText(L"4 Other", false)}));
    CHECK(CloseEnabled(w.Handle()));
    CHECK_FALSE(w.ButtonEnabled());
}

TEST_CASE("the every-product marker is settled before the first uninstaller starts") {
    Scratch s(L"pass-marker");
    enum class Before { Absent, One, Zero, Text };
    struct Case {
        const char* what;
        Before before;
        bool allTicked;
        const wchar_t* seen;  // by every uninstaller of the pass
        bool after;           // UninstallMode = 1 when the pass has ended
    };
    const Case cases[] = {
        {"every row ticked, none before: written", Before::Absent, true, L"1", true},
        {"every row ticked, 0 before: 1", Before::Zero, true, L"1", true},
        {"every row ticked, a string before: replaced", Before::Text, true, L"1", true},
        {"some rows ticked, present before: removed", Before::One, false, L"absent", false},
        {"some rows ticked, a string before: removed", Before::Text, false, L"absent", false},
        {"some rows ticked, none before: nothing written", Before::Absent, false, L"absent", false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        ts::ScratchDir(L"pass-marker");
        // An empty command keeps a ticked row, so the window stays.
        PassWindow w({{L"1 A", s.Recorder(L"A"), true},
                      {L"2 B", s.Recorder(L"B"), true},
                      {L"3 C", c.allTicked ? L"" : s.Recorder(L"C"), c.allTicked}});
        switch (c.before) {
        case Before::Absent: break;
        case Before::One: ts::SetDword(ts::kFamily, kMarker, 1); break;
        case Before::Zero: ts::SetDword(ts::kFamily, kMarker, 0); break;
        case Before::Text: ts::SetString(ts::kFamily, kMarker, L"stale"); break;
        }
        w.ClickUninstall();

        const auto starts = Starts(ReadLog(s.log));
        REQUIRE(starts.size() == 2);
        for (const auto& start : starts) CHECK(Narrow(start.marker) == Narrow(c.seen));
        DWORD value = 0;
        CHECK(ts::GetDword(ts::kFamily, kMarker, value) == c.after);
        if (c.after) CHECK(value == 1);
        if (!c.after) {
            CHECK_FALSE(ts::ValueExists(ts::kFamily, kMarker));
            CHECK(ValueCount(ts::kFamily) == 0);
        }
    }
}

TEST_CASE("when the marker cannot be written nothing starts, the error shows and the window stays closable") {
    Scratch s(L"pass-marker-fails");
    PassWindow w({{L"1 A", s.Recorder(L"A"), true}, {L"2 Empty", L"", true}});
    DenyValueWrites deny(ts::kFamily);
    REQUIRE(deny.Denies());

    std::wstring boxText;
    bool boxFound = false, closeEnabledWhileShown = false;
    const HWND window = w.Handle();
    Watcher watcher([&] {
        for (int tries = 0; tries < 3000 && !boxFound; ++tries) {
            HWND box = FindWindowW(L"#32770", L"Uninstall");
            DWORD pid = 0;
            if (box) GetWindowThreadProcessId(box, &pid);
            if (box && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
                boxFound = true;
                boxText = ts::MessageBoxText(box);
                closeEnabledWhileShown = CloseEnabled(window);
                ts::DismissMessageBox(box);
            } else {
                Sleep(20);
            }
        }
    });
    w.ClickUninstall();
    watcher.Join();

    CHECK(boxFound);
    CHECK(Narrow(boxText) == "Failed to set data for 'UninstallMode'");
    CHECK(closeEnabledWhileShown);
    CHECK(CloseEnabled(window));
    CHECK_FALSE(ts::PathIsFile(s.log));
    CHECK(Joined(w.Rows()) == Joined({RowText(L"1 A", true), RowText(L"2 Empty", true)}));
    CHECK_FALSE(ts::ValueExists(ts::kFamily, kMarker));

    // The program goes on: once the key can be written, the next pass runs.
    deny.Restore();
    w.ClickUninstall();
    const auto starts = Starts(ReadLog(s.log));
    REQUIRE(starts.size() == 1);
    CHECK(starts[0].id == L"A");
    CHECK(starts[0].marker == L"1");
    CHECK(Joined(w.Rows()) == Joined({RowText(L"2 Empty", true)}));
}

TEST_CASE("during a pass the Close command is disabled and input waits; after it, Close is enabled again") {
    Scratch s(L"pass-close");
    Hold first(L"first"), second(L"second");
    PassWindow w({{L"1 A", s.Recorder(L"A", L"--hold " + first.Name()), true},
                  {L"2 B", s.Recorder(L"B", L"--hold " + second.Name()), true},
                  {L"3 C", s.Recorder(L"C"), false}});
    const HWND window = w.Handle();
    const HWND list = w.List();
    REQUIRE(CloseEnabled(window));
    // Where B's box is now; a click there, handled before B's turn, would
    // untick it.
    const POINT secondBox = ts::RowCheckBoxPoint(list, 1);

    bool sawFirst = false, sawSecond = false, closeDuringFirst = true, closeDuringSecond = true;
    Watcher watcher([&] {
        if ((sawFirst = first.WaitStarted())) {
            closeDuringFirst = CloseEnabled(window);
            ts::PostClick(list, secondBox.x, secondBox.y);
        }
        first.Release();
        if ((sawSecond = second.WaitStarted())) closeDuringSecond = CloseEnabled(window);
        second.Release();
    });
    w.ClickUninstall();
    watcher.Join();

    REQUIRE(sawFirst);
    CHECK(sawSecond);
    CHECK_FALSE(closeDuringFirst);
    CHECK_FALSE(closeDuringSecond);
    CHECK(CloseEnabled(window));
    CHECK(Joined(Sequence(ReadLog(s.log))) == Joined(OneAtATime({L"A", L"B"})));
    CHECK(Joined(w.Rows()) == Joined({RowText(L"3 C", false)}));
    CHECK_FALSE(w.ButtonEnabled());
}
