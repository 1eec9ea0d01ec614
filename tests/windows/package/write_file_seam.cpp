#include "write_file_seam.h"

#include "package/write_file_call.h"

using namespace quro;

namespace write_seam {
Mode mode = Mode::Pass;
std::vector<DWORD> chunks;
void Reset()
{
    mode = Mode::Pass;
    chunks.clear();
}
}  // namespace write_seam

namespace quro {

// Replaces the library's definition at link time.
BOOL WriteFileCall(HANDLE file, const void* data, DWORD length, DWORD* written)
{
    write_seam::chunks.push_back(length);
    switch (write_seam::mode) {
    case write_seam::Mode::Pass:
        return ::WriteFile(file, data, length, written, nullptr);
    case write_seam::Mode::Short:
        // A full disk: WriteFile succeeds but takes less than it was given.
        return ::WriteFile(file, data, length - 1, written, nullptr);
    case write_seam::Mode::Fail:
        *written = 0;
        ::SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return FALSE;
}

}  // namespace quro
