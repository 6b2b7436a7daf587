#include "TestSupport.h"
#include "platform/Forms.h"

namespace ts {

void EnsureApplication() {
    static const bool initialised = [] {
        Application->Initialize();
        Application->SetTitle(L"Uninstall");
        return true;
    }();
    (void)initialised;
}

}  // namespace ts
