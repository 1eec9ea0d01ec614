#include "package/write_file_call.h"

namespace quro {

BOOL WriteFileCall(HANDLE file, const void* data, DWORD length, DWORD* written)
{
    return ::WriteFile(file, data, length, written, nullptr);
}

}  // namespace quro
