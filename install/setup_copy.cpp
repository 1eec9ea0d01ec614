#include "install/setup_copy.h"

#include "base/system_paths.h"
#include "package/write_file_call.h"

#include <windows.h>

#include <vector>

UniqueFileHandle OpenOwnExecutable()
{
    const std::wstring path = OwnExecutablePath();
    if (path.empty()) return UniqueFileHandle();
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool CopyFromHandle(HANDLE source, const std::wstring& target)
{
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) return false;
    UniqueFileHandle out(::CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    std::vector<unsigned char> chunk(1 << 20);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) break;
        if (read == 0) return true;
        DWORD written = 0;
        if (!WriteFileCall(out.get(), chunk.data(), read, &written) || written != read) break;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(out.get(), FileDispositionInfo, &disposition, sizeof disposition);
    return false;
}
