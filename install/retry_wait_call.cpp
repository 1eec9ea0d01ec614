#include "install/retry_wait_call.h"

#include "ui/progress_window.h"

void RetryWaitCall(DWORD milliseconds) { PumpMessagesFor(milliseconds); }
