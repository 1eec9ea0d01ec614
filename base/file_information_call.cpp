#include "base/file_information_call.h"

namespace quro {

BOOL FileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)
{
    return ::GetFileInformationByHandleEx(handle, kind, information, size);
}

}  // namespace quro
