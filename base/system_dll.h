// DLLs outside the Known DLLs list (cabinet, bcrypt, comctl32) are never
// imported statically: the loader would resolve them from the folder the
// setup program was started in, before wWinMain could harden the search.
// They are loaded here, from System32 only, once the hardening has run.
#pragma once

#include <windows.h>

namespace quro {

// The address of a function of a System32 DLL, or null when the DLL or the
// function is missing. Modules stay loaded for the life of the process.
FARPROC SystemProcAddress(const wchar_t* dll, const char* name);

// The same, typed; a missing function counts as the failure of the call it
// stands for.
template <class F>
F SystemFunction(const wchar_t* dll, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(SystemProcAddress(dll, name)));
}

}  // namespace quro
