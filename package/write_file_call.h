// The one WriteFile call of extraction, alone in its own file so that a test
// build can count chunks or make a write come out short.
#pragma once

#include <windows.h>

BOOL WriteFileCall(HANDLE file, const void* data, DWORD length, DWORD* written);
