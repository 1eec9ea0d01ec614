// The calls that turn a path into its long or its short (8.3) form, alone in
// their own file so that a test build can see which paths are resolved:
// resolving asks the file system, and for a UNC or WebDAV path that means
// connecting to its server with this process's credentials.
#pragma once

#include <windows.h>

namespace quro {

DWORD LongPathNameCall(const wchar_t* path, wchar_t* buffer, DWORD size);
DWORD ShortPathNameCall(const wchar_t* path, wchar_t* buffer, DWORD size);

}  // namespace quro
