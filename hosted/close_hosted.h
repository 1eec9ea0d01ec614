// Finding and ending the running hosted application.
#pragma once

#include <windows.h>

#include <vector>

namespace quro {

// Process ids in the order of the system's snapshot.
using ProcessIdList = std::vector<DWORD>;

// Every process whose image name is one of the hosted names, in any letter
// case, and whose image file lies inside the install folder.
ProcessIdList FindHostedProcesses();

// Asks once (the removal or the update wording), ends every hosted process,
// and tells whether none is left. True at once when none runs. Processes of
// other accounts are ended too, with the debug privilege switched on first.
bool CloseHostedApplication(bool forRemoval);

}  // namespace quro
