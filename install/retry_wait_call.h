// The pause between two tries of a folder rename that Windows refused, with
// the progress window kept alive; alone in its own file so that a test build
// can add the pauses up instead of sitting them out.
#pragma once

#include <windows.h>

namespace quro {

void RetryWaitCall(DWORD milliseconds);

}  // namespace quro
