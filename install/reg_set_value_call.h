// The registry writes of the registration, alone in their own file so that a
// test build can stop a run in the middle of writing the uninstall entry.
#pragma once

#include <windows.h>

namespace quro {

LSTATUS RegSetValueCall(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size);

}  // namespace quro
