#pragma once

// Asks every process with a module directly in InstallFolder to close (WM_QUIT to each of
// its threads, WM_CLOSE to their windows), gives them 3000 ms together and terminates
// those still running. Processes running ModulePath itself are left alone.
void CloseRunningInstances();
