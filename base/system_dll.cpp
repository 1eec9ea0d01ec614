#include "base/system_dll.h"

namespace quro {

namespace {

HMODULE LoadSystemDll(const wchar_t* name) { return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }

}  // namespace

FARPROC SystemProcAddress(const wchar_t* dll, const char* name)
{
    HMODULE module = LoadSystemDll(dll);
    if (!module) return nullptr;
    return ::GetProcAddress(module, name);
}

}  // namespace quro
