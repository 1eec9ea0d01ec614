// The folder renames of the install swap, alone in their own file so that a
// test build can make one of them fail as Windows does when a file inside
// the folder is open (Wine renames such a folder anyway).
#pragma once

#include <windows.h>

namespace quro {

BOOL MoveFileCall(const wchar_t* from, const wchar_t* to, DWORD flags);

}  // namespace quro
