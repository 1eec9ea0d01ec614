// The calls that mark an entry for deletion, alone in their own file so that
// a test build can give the answers Windows gives and Wine does not (the
// POSIX disposition accepted, a folder not empty for a moment).
#pragma once

#include <windows.h>

namespace quro {

BOOL SetFileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size);

}  // namespace quro
