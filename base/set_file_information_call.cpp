#include "base/set_file_information_call.h"

namespace quro {

BOOL SetFileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)
{
    return ::SetFileInformationByHandle(handle, kind, information, size);
}

}  // namespace quro
