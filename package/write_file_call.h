// The WriteFile call of extraction and of the setup copy, alone in its own
// file so that a test build can count chunks, make a write come out short or
// stop a run in the middle of the copy.
#pragma once

#include <windows.h>

namespace quro {

BOOL WriteFileCall(HANDLE file, const void* data, DWORD length, DWORD* written);

}  // namespace quro
