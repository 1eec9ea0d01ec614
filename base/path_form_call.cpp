#include "base/path_form_call.h"

namespace quro {

DWORD LongPathNameCall(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    return ::GetLongPathNameW(path, buffer, size);
}

DWORD ShortPathNameCall(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    return ::GetShortPathNameW(path, buffer, size);
}

}  // namespace quro
