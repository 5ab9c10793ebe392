#pragma once

// Restricts DLL loading to the system folder and turns on safe search and DEP. Failures
// are ignored: older systems lack these functions.
void HardenProcess();
