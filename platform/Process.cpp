#include "Process.h"

#include <vector>

#include "Handle.h"

namespace {
// CreateProcessW's limit, 32,767 characters with the terminating NUL.
const size_t kMaxCommandLine = 32766;
}  // namespace

bool RunAndWait(const UnicodeString& program, const UnicodeString& commandLine, STARTUPINFOW& si,
                PROCESS_INFORMATION& pi) {
    // Longer than Windows accepts: a failed start. (Wine would start it cut
    // short, losing the switch at its end.)
    if (commandLine.size() > kMaxCommandLine) return false;
    // CreateProcessW may write to the command line, so it gets its own copy.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (!::CreateProcessW(program.empty() ? nullptr : program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &si, &pi))
        return false;
    UniqueKernelHandle thread(pi.hThread);  // released second
    UniqueKernelHandle process(pi.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
    return true;
}
