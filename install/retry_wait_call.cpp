#include "install/retry_wait_call.h"

#include "ui/progress_window.h"

namespace quro {

void RetryWaitCall(DWORD milliseconds) { PumpMessagesFor(milliseconds); }

}  // namespace quro
