#include "Shell.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "Handle.h"

bool RunAndWait(const UnicodeString& program, const UnicodeString& commandLine, STARTUPINFOW& si,
                PROCESS_INFORMATION& pi) {
    // CreateProcessW may write to the command line, so it gets its own copy.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (!::CreateProcessW(program.empty() ? nullptr : program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    UniqueKernelHandle thread(pi.hThread);  // released second
    UniqueKernelHandle process(pi.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
    return true;
}

void ShellExecuteDefault(HWND owner, const UnicodeString& target, const UnicodeString* parameters) {
    ::ShellExecuteW(owner, nullptr, target.c_str(), parameters ? parameters->c_str() : nullptr, nullptr,
                    SW_SHOWNORMAL);
}

bool DocumentsFolder(UnicodeString& folder) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return false;
    folder.assign(path);
    return true;
}

bool FileExists(const UnicodeString& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void EnableCloseCommand(HWND window, bool enable) {
    ::EnableMenuItem(::GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_DISABLED));
}
