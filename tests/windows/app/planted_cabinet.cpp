// A cabinet.dll as someone might plant it in a Downloads folder, beside the
// setup program or in the folder it is started from: every Compression API
// call fails, and loading it at all leaves a mark in the temporary folder.
// The setup program must never load it.
#include "base/unique_handles.h"

#include <windows.h>

#include <string>

using namespace quro;

namespace {

void LeaveMark()
{
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    // Made and closed at once: the file itself is the mark.
    const UniqueFileHandle mark(::CreateFileW((std::wstring(temp) + L"quro-planted-cabinet-loaded").c_str(),
                                              GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) LeaveMark();
    return TRUE;
}

BOOL WINAPI CreateDecompressor(DWORD, void*, void*)
{
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI Decompress(void*, void*, SIZE_T, void*, SIZE_T, SIZE_T*)
{
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI CloseDecompressor(void*) { return TRUE; }

}  // extern "C"
