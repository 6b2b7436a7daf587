// Counts the handles this process holds, from the system's own handle table,
// so a registry key left open by an operation shows as one more.
#pragma once

#include "TestSupport.h"

namespace regtest {

inline long OpenHandleCount() { return ts::HandleCount(); }

}  // namespace regtest
