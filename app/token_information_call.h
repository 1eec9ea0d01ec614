// The GetTokenInformation call of the elevation test, alone in its own file
// so that a test build can report a token without administrator rights: every
// Wine process is elevated, so the relaunch would otherwise never be taken.
#pragma once

#include <windows.h>

namespace quro {

BOOL TokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD length, DWORD* returned);

}  // namespace quro
