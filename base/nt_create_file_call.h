// The open of an entry relative to its folder's handle, alone in its own file
// so that a test build can answer as Windows answers for an entry that is
// already being deleted (STATUS_DELETE_PENDING), which Wine reopens instead.
#pragma once

#include <windows.h>
#include <winternl.h>

namespace quro {

NTSTATUS NtCreateFileCall(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* object, IO_STATUS_BLOCK* status,
                          ULONG attributes, ULONG share, ULONG disposition, ULONG options);

}  // namespace quro
