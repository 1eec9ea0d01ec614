#include "system_dll.h"

HMODULE LoadSystemDll(const wchar_t* name)
{
    return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
