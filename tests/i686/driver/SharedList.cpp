#include "SharedList.h"

#include <commctrl.h>

namespace i686 {

namespace {
constexpr SIZE_T kPage = 4096;
constexpr SIZE_T kTextOffset = 512;
constexpr int kTextChars = 1024;
constexpr ULONG kViewUnmap = 2;

using MapViewOfSection = LONG(NTAPI*)(HANDLE, HANDLE, PVOID*, ULONG_PTR, SIZE_T, PLARGE_INTEGER, PSIZE_T, ULONG,
                                      ULONG, ULONG);
using UnmapViewOfSection = LONG(NTAPI*)(HANDLE, PVOID);

template <typename F>
F Ntdll(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}
}  // namespace

SharedList::SharedList(HWND list) : list_(list) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION, FALSE, pid);
    section_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kPage, nullptr);
    if (!process_ || !section_) return;
    local_ = static_cast<char*>(MapViewOfFile(section_, FILE_MAP_ALL_ACCESS, 0, 0, kPage));
    auto map = Ntdll<MapViewOfSection>("NtMapViewOfSection");
    PVOID base = nullptr;
    SIZE_T size = kPage;
    if (map && map(section_, process_, &base, 0, 0, nullptr, &size, kViewUnmap, 0, PAGE_READWRITE) >= 0)
        remote_ = static_cast<char*>(base);
}

SharedList::~SharedList() {
    if (remote_) {
        if (auto unmap = Ntdll<UnmapViewOfSection>("NtUnmapViewOfSection")) unmap(process_, remote_);
    }
    if (local_) UnmapViewOfFile(local_);
    if (section_) CloseHandle(section_);
    if (process_) CloseHandle(process_);
}

int SharedList::Count() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

bool SharedList::Checked(int index) const {
    const auto state =
        static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

std::wstring SharedList::Caption(int index) {
    if (!*this) return L"<no shared page>";
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = reinterpret_cast<wchar_t*>(remote_ + kTextOffset);
    item.cchTextMax = kTextChars;
    CopyMemory(local_, &item, sizeof item);
    const auto n = static_cast<int>(
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote_)));
    if (n <= 0) return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(local_ + kTextOffset), static_cast<size_t>(n));
}

std::vector<e2e::Row> SharedList::Rows() {
    std::vector<e2e::Row> rows;
    const int n = Count();
    for (int i = 0; i < n; ++i) rows.push_back(e2e::Row{Caption(i), Checked(i)});
    return rows;
}

}  // namespace i686
