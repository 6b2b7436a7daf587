#include "SafeLoading.h"

#include <windows.h>

namespace {
// Looked up at run time: older Windows without these functions must still
// start the program.
template <typename Function>
Function Kernel32Function(const char* name) {
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}
}  // namespace

void HardenProcess() {
    // A DLL planted beside the exe or in the current folder (a download
    // folder, say) must not be loaded into an elevated process.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    if (auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories"))
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);

    // The current folder is searched only after the system folders, and no
    // later call can switch that back.
    using SetSearchPathModeFn = BOOL(WINAPI*)(DWORD);
    if (auto setMode = Kernel32Function<SetSearchPathModeFn>("SetSearchPathMode"))
        setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);

#ifndef _WIN64
    // A 32-bit process may run with DEP off (by system policy or for
    // compatibility); 64-bit processes always have it on, so only the 32-bit
    // build asks for it.
    using SetProcessDEPPolicyFn = BOOL(WINAPI*)(DWORD);
    if (auto setDep = Kernel32Function<SetProcessDEPPolicyFn>("SetProcessDEPPolicy")) setDep(PROCESS_DEP_ENABLE);
#endif
}
