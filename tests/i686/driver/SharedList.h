// A list view owned by another process, read through a page of memory shared
// with that process. Under user-mode emulation the server's reads and writes
// of another process's memory miss (the emulated address space sits at an
// offset in the host's), while a section mapped into both processes is the
// same memory for each of them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Driver.h"

namespace i686 {

class SharedList {
public:
    explicit SharedList(HWND list);
    ~SharedList();
    SharedList(const SharedList&) = delete;
    SharedList& operator=(const SharedList&) = delete;

    explicit operator bool() const { return local_ && remote_; }
    int Count() const;
    bool Checked(int index) const;
    std::wstring Caption(int index);
    std::vector<e2e::Row> Rows();

private:
    HWND list_;
    HANDLE process_ = nullptr;
    HANDLE section_ = nullptr;
    char* local_ = nullptr;   // the page as this process sees it
    char* remote_ = nullptr;  // the same page at the list's owner's address
};

}  // namespace i686
