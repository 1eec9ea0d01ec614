// The CreateDecompressor call of the unpack, alone in its own file so that a
// test build can refuse it as a Windows without the Compression API would,
// and count what the decompressors it hands out allocate and free.
#pragma once

#include <windows.h>
#include <compressapi.h>

namespace quro {

// CreateDecompressor of cabinet.dll; FALSE when the DLL or the function is missing.
BOOL CreateDecompressorCall(DWORD algorithm, PCOMPRESS_ALLOCATION_ROUTINES routines, PDECOMPRESSOR_HANDLE handle);

}  // namespace quro
