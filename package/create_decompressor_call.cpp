#include "package/create_decompressor_call.h"

#include "base/system_dll.h"

namespace quro {

BOOL CreateDecompressorCall(DWORD algorithm, PCOMPRESS_ALLOCATION_ROUTINES routines, PDECOMPRESSOR_HANDLE handle)
{
    using CreateDecompressorFn = BOOL(WINAPI*)(DWORD, PCOMPRESS_ALLOCATION_ROUTINES, PDECOMPRESSOR_HANDLE);
    const auto create = SystemFunction<CreateDecompressorFn>(L"cabinet.dll", "CreateDecompressor");
    return create && create(algorithm, routines, handle);
}

}  // namespace quro
