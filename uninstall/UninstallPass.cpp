#include "UninstallPass.h"

#include <memory>
#include <set>

#include "../platform/Process.h"
#include "../platform/Shell.h"
#include "../platform/WindowMenu.h"
#include "../registry/Regedit.h"

const wchar_t kFamilyKey[] = L"SOFTWARE\\Quillbrook";
const wchar_t kUninstallModeValue[] = L"UninstallMode";

static_assert(sizeof(STARTUPINFOW) == (sizeof(void*) == 4 ? 68 : 104), "STARTUPINFOW has the system's layout");

namespace {
const wchar_t kSilentSwitch[] = L" /silent";

void RecordSelectionMode(bool allSelected) {
    auto reg = std::make_unique<TRegedit>(kFamilyKey, HKEY_LOCAL_MACHINE);
    if (allSelected) {
        reg->WriteInteger(kUninstallModeValue, 1);
    } else if (reg->ValueExists(kUninstallModeValue)) {
        reg->DeleteValue(kUninstallModeValue);
    }
}

bool StartAndWait(const UnicodeString& command, STARTUPINFOW& si, PROCESS_INFORMATION& pi) {
    const UnicodeString program = ExplicitProgramPath(command);
    // A named program that is not there is a failed start: letting Windows
    // try shorter prefixes of the path could run a planted program instead.
    if (!program.empty() && !FileExists(program)) return false;
    return RunAndWait(program, command + kSilentSwitch, si, pi);
}

// What one pass keeps: the records handed to every start, and the commands
// it has tried.
struct PassState {
    STARTUPINFOW si{};
    PROCESS_INFORMATION pi{};
    std::set<UnicodeString> launchedCommands;  // exact, case-sensitive
};

// Runs each ticked row's command once, in row order, dropping every ticked
// row whose command has run in this pass.
void UninstallTickedRows(TListView& lvApp, PassState& state) {
    // The window is not painted before the pass ends anyway; with the list's
    // painting suspended, a deletion costs no repaint work.
    TListUpdate update(lvApp);
    // The count is read afresh and the index steps back after every
    // deletion, so the row moving up into a deleted row's place is seen.
    for (int i = 0; i < lvApp.Count(); ++i) {
        TListItem row = lvApp.Item(i);
        if (!row.Checked()) continue;
        const UnicodeString command = row.SubItems().Count() > 0 ? row.SubItems()[0] : UnicodeString();
        if (command.empty()) continue;
        if (state.launchedCommands.count(command)) {
            row.Delete();
            --i;
            continue;
        }
        // Entered before the start is tried: a command that failed to start
        // is not tried again in this pass.
        state.launchedCommands.insert(command);
        if (StartAndWait(command, state.si, state.pi)) {
            row.Delete();
            --i;
        }
    }
}
}  // namespace

UnicodeString ExplicitProgramPath(const UnicodeString& command) {
    if (command.empty() || command[0] == L'"') return UnicodeString();
    for (size_t at = 0; at + 4 <= command.size(); ++at) {
        const bool isExe = command[at] == L'.' && (command[at + 1] | 0x20) == L'e' &&
                           (command[at + 2] | 0x20) == L'x' && (command[at + 3] | 0x20) == L'e';
        if (!isExe) continue;
        const size_t end = at + 4;
        if (end < command.size() && command[end] != L' ' && command[end] != L'\t') continue;
        const UnicodeString path = command.substr(0, end);
        // Windows ends an unquoted program name at a space or a tab.
        return path.find_first_of(L" \t") != UnicodeString::npos ? path : UnicodeString();
    }
    return UnicodeString();
}

void RunUninstallPass(HWND window, TListView& lvApp, const std::function<void()>& refresh,
                      const std::function<void()>& finish) {
    EnableCloseCommand(window, false);
    try {
        PassState state;
        state.si.cb = sizeof state.si;

        bool allSelected = true;
        for (int i = 0; i < lvApp.Count(); ++i) {
            if (!lvApp.Item(i).Checked()) {
                allSelected = false;
                break;
            }
        }
        RecordSelectionMode(allSelected);

        UninstallTickedRows(lvApp, state);

        if (lvApp.Count() > 0) {
            EnableCloseCommand(window, true);
            refresh();
        } else {
            finish();
        }
    } catch (...) {
        // An error ends the pass where it stands; the window must still be
        // closable afterwards.
        EnableCloseCommand(window, true);
        throw;
    }
}
