// Helpers the test programs share: registry fixtures in the test prefix,
// message pumping, and starting and watching real processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ts {

// ------------------------------------------------------------ registry

extern const wchar_t kFamily[];          // SOFTWARE\Quillbrook
extern const wchar_t kUninstallPaths[];  // SOFTWARE\Quillbrook\UninstallPaths
extern const wchar_t kLinks[];           // SOFTWARE\Quillbrook\Links

// Removes HKLM\SOFTWARE\Quillbrook with everything below it.
void ResetFamilyKey();
void DeleteKeyTree(const wchar_t* key);
bool KeyExists(const wchar_t* key);
bool ValueExists(const wchar_t* key, const std::wstring& name);
// Value names as the registry itself enumerates them.
std::vector<std::wstring> ValueNames(const wchar_t* key);
// Data of any type, exactly `bytes` long.
void SetRaw(const wchar_t* key, const std::wstring& name, DWORD type, const void* data, size_t bytes);
// A string value with its terminating NUL, as ordinary writers store it.
void SetString(const wchar_t* key, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
void SetDword(const wchar_t* key, const std::wstring& name, DWORD value);
// Reads a REG_DWORD; false when absent or of another type.
bool GetDword(const wchar_t* key, const std::wstring& name, DWORD& value);
// Counts the handles this process holds (all kinds), to show none leaked,
// from the system's handle table (GetProcessHandleCount says 0 under Wine).
// -1 when the table cannot be read.
long HandleCount();

// ------------------------------------------------------------- windows

// Initialises the application object once per test program, titled as the
// program titles it, so tests can build the real window. (Application.cpp:
// only test programs linked with the program's code have it.)
void EnsureApplication();

// Dispatches every message that is waiting, including posted ones; returns
// once the queue stays empty for `quietMs`.
void PumpMessages(DWORD quietMs = 30);
// Posts a left click (down and up) at client point (x, y) of `hwnd`.
void PostClick(HWND hwnd, int x, int y, bool doubleClick = false);
// Client point of the check box of list-view row `index`.
POINT RowCheckBoxPoint(HWND list, int index);
// Client point on the text of list-view row `index`.
POINT RowTextPoint(HWND list, int index);
bool RowChecked(HWND list, int index);
std::vector<bool> CheckVector(HWND list);
bool ButtonChecked(HWND button);

// ------------------------------------------------------------ processes

// Folder of the running test program, ending in a backslash.
std::wstring ExeDir();
// Where the program looks for the post-uninstall helper:
// <Documents>\Quillbrook\QbkUninstall.exe.
std::wstring HelperPath();
// The program under test (the test build's Uninstall.exe).
std::wstring ProgramPath();
// A fixture program built beside the tests, e.g. L"recorder.exe".
std::wstring FixturePath(const wchar_t* name);
// A fresh, empty folder for one test's files (removed by the next call
// with the same tag).
std::wstring ScratchDir(const wchar_t* tag);
std::wstring ReadTextFile(const std::wstring& path);
std::vector<std::wstring> ReadLines(const std::wstring& path);
// Waits up to `ms` until `path` holds at least `count` lines that begin with
// `prefix`; returns those found.
std::vector<std::wstring> WaitForLines(const std::wstring& path, const std::wstring& prefix, size_t count, DWORD ms);
// The tab-separated fields of a log line.
std::vector<std::wstring> SplitTabs(const std::wstring& line);
bool PathIsFile(const std::wstring& path);

class Process {
public:
    // Starts `commandLine` with the given current directory (or ours).
    explicit Process(const std::wstring& commandLine);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    DWORD Id() const { return pi_.dwProcessId; }
    HANDLE Handle() const { return pi_.hProcess; }
    bool Started() const { return pi_.hProcess != nullptr; }
    // Waits for the end; false on time-out.
    bool Wait(DWORD ms);
    // Exit code, or STILL_ACTIVE.
    DWORD ExitCode() const;
    void Kill();

private:
    PROCESS_INFORMATION pi_{};
};

// The first visible top-level window of `pid` with this class and caption
// (either may be null to match any), waiting up to `ms`.
HWND WaitForWindow(DWORD pid, const wchar_t* cls, const wchar_t* caption, DWORD ms);
// Every top-level window of `pid` that is visible.
std::vector<HWND> VisibleWindows(DWORD pid);
// The text of a message box.
std::wstring MessageBoxText(HWND box);
// Presses a message box's OK button.
void DismissMessageBox(HWND box);
std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);
// The child control of `parent` with this class, in creation order.
HWND ChildOfClass(HWND parent, const wchar_t* cls, int nth = 0);

}  // namespace ts
