#include "base/nt_create_file_call.h"

namespace quro {

NTSTATUS NtCreateFileCall(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* object, IO_STATUS_BLOCK* status,
                          ULONG attributes, ULONG share, ULONG disposition, ULONG options)
{
    return ::NtCreateFile(handle, access, object, status, nullptr, attributes, share, disposition, options, nullptr, 0);
}

}  // namespace quro
