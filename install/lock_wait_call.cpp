#include "install/lock_wait_call.h"

namespace quro {

DWORD LockWaitCall(HANDLE lock, DWORD milliseconds) { return ::WaitForSingleObject(lock, milliseconds); }

}  // namespace quro
