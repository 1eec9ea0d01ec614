// The wait for another setup's lock, alone in its own file so that a test
// build can shorten an unattended run's bounded wait of minutes to seconds.
#pragma once

#include <windows.h>

namespace quro {

// WaitForSingleObject on the lock.
DWORD LockWaitCall(HANDLE lock, DWORD milliseconds);

}  // namespace quro
