// The window station question, alone in its own file so that a test build
// can answer it as session 0 does: Wine's null graphics driver, where boxes
// block for ever as they do there, still reports a visible station.
#pragma once

#include <windows.h>

namespace quro {

// GetUserObjectInformationW(UOI_FLAGS) on the process's window station.
BOOL WindowStationFlagsCall(USEROBJECTFLAGS* flags);

}  // namespace quro
