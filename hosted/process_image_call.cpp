#include "hosted/process_image_call.h"

namespace quro {

BOOL ProcessImageCall(HANDLE process, wchar_t* path, DWORD* length)
{
    return ::QueryFullProcessImageNameW(process, 0, path, length);
}

}  // namespace quro
