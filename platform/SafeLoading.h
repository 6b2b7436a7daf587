// Start-up hardening for a program that runs as administrator and starts what
// the registry names.
#pragma once

// Restricts DLL loading to the system folder, puts the path search in safe
// mode for good and, in the 32-bit build, turns DEP on. Called first thing in
// the entry, before anything could load a DLL by a bare name. Each step is
// skipped where the running Windows lacks it.
void HardenProcess();
