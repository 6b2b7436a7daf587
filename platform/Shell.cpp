#include "Shell.h"

#include <shellapi.h>
#include <shlobj.h>

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
