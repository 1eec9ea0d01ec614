#include "install/reg_set_value_call.h"

namespace quro {

LSTATUS RegSetValueCall(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size)
{
    return ::RegSetValueExW(key, name, 0, type, data, size);
}

}  // namespace quro
