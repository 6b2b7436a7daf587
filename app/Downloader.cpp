// Program entry: builds the window and runs it until it closes. Whatever
// happens, the process's exit code is 0.
#include <windows.h>

#include "../platform/SafeLoading.h"
#include "Main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HardenProcess();
    try {
        try {
            Application->Initialize();
            Application->SetTitle(L"Uninstall");
            Application->CreateForm(frmMain);
            Application->Run();
        } catch (const Exception&) {
            throw;
        } catch (...) {
            // Anything that is not one of our errors is shown as an empty one.
            throw Exception(UnicodeString());
        }
    } catch (const Exception& e) {
        Application->ShowException(e);
    }
    return 0;
}
