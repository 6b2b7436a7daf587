// Helpers for the hardening, hostile-input and model tests: the real window
// driven by posted input, real child processes and their logs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Main.h"

namespace hostile {


// The real main window, built in this process from the test prefix's
// registry and shown. Construction errors pass on to the caller.
class Window {
public:
    Window();
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    TfrmMain& Form() { return *form_; }
    HWND List() const { return form_->lvApp->Handle(); }
    HWND Button() const { return form_->btnProcess->Handle(); }
    HWND All() const { return form_->chAll->Handle(); }

    // Posted mouse clicks, dispatched before returning. A click on the
    // Uninstall button runs the whole pass before this returns.
    void ClickRowBox(int index);
    void ClickRowText(int index);
    void ClickAll();
    void ClickUninstall();

    std::vector<std::wstring> Captions();
    std::vector<std::wstring> Commands();
    bool CloseCommandEnabled() const;

private:
    TfrmMain* form_;
};

// A recorder command: recorder.exe --log LOG --id ID [extra].
std::wstring RecorderCommand(const std::wstring& log, const std::wstring& id, const std::wstring& extra = L"");

// One line of a recorder's log.
struct LogLine {
    std::wstring kind;  // "start" or "end"
    std::wstring id;
    DWORD pid = 0;
    std::wstring marker;   // start lines only
    bool overlap = false;  // start lines only
    std::wstring commandLine;
};
std::vector<LogLine> ReadLog(const std::wstring& path);
// "start:ID" / "end:ID" for each line, in order.
std::vector<std::wstring> Events(const std::wstring& path);

// Starts `commandLine` with CreateProcessW and no application name, as a
// plain caller would, in `currentDir` (or ours when empty), and waits for it.
// False when it could not be started; `exitCode` gets its exit code.
bool RunPlain(const std::wstring& commandLine, const std::wstring& currentDir, DWORD& exitCode);

bool CopyTo(const std::wstring& from, const std::wstring& to);
// Creates every folder on the way to `dir`.
void MakeDirs(const std::wstring& dir);

// While alive, a crashing child process ends without a debugger or a crash
// dialog; the prefix's settings are put back afterwards.
class QuietCrashes {
public:
    QuietCrashes();
    ~QuietCrashes();
    QuietCrashes(const QuietCrashes&) = delete;
    QuietCrashes& operator=(const QuietCrashes&) = delete;

private:
    bool hadDebugger_ = false;
    std::wstring debugger_;
    bool hadShowDialog_ = false;
    DWORD showDialog_ = 0;
};

}  // namespace hostile
