// Finding and ending the running hosted application.
#pragma once

#include <windows.h>

#include <vector>

// Process ids in the order of the system's snapshot.
using ProcessIdList = std::vector<DWORD>;

// Every process whose image name is one of the hosted names, in any letter case.
ProcessIdList FindHostedProcesses();

// Asks once (the removal or the update wording), ends every hosted process,
// and tells whether none is left. True at once when none runs.
bool CloseHostedApplication(bool forRemoval);
