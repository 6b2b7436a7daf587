// Counts the handles this process holds, from the system's own handle table,
// so a registry key left open by an operation shows as one more.
#pragma once

#include <windows.h>

#include <vector>

namespace regtest {

inline long OpenHandleCount() {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const ULONG kSystemHandleInformation = 16;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<BYTE> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) return -1;
        break;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    long mine = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].ownerPid == GetCurrentProcessId()) ++mine;
    return mine;
}

}  // namespace regtest
