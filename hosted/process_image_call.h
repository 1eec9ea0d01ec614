// The query of a process's image path, alone in its own file so that a test
// build can report images that the bench cannot start (a program on a UNC
// share) and see that nothing resolves them.
#pragma once

#include <windows.h>

namespace quro {

BOOL ProcessImageCall(HANDLE process, wchar_t* path, DWORD* length);

}  // namespace quro
