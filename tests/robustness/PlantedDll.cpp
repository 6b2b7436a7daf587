// A DLL planted beside a program: loading it by its bare name must fail once
// the program has restricted its DLL search to the system folder.
#include <windows.h>

extern "C" __declspec(dllexport) int PlantedMarker() { return 42; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
