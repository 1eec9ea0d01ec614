#include "install/setup_copy.h"

#include "base/system_paths.h"
#include "package/write_file_call.h"

#include <windows.h>

#include <vector>

// ntdll's own, exported since the first Windows NT and undocumented: no
// header declares it. It compares the files behind two mapped views (the
// loader's image and our view of the opened file), not their bytes, and
// answers STATUS_SUCCESS only when they are one file; STATUS_NOT_SAME_DEVICE
// for two files, and other failures for an address it cannot resolve. Only
// that success proves the file is the running program, so any other answer,
// a failure included, is refused. Wine implements it the same way.
extern "C" NTSTATUS NTAPI NtAreMappedFilesTheSame(PVOID File1MappedAsAnImage, PVOID File2MappedAsFile);

namespace quro {

UniqueFileHandle OpenOwnExecutable()
{
    const std::wstring path = OwnExecutablePath();
    if (path.empty()) return UniqueFileHandle();
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool IsRunningImage(HANDLE file)
{
    // One page of the file is enough for Windows to tell which file a view
    // belongs to; the answer compares the files, not the bytes, so a copy
    // of the program in the same place would not pass either.
    const UniqueHandle mapping(::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return false;
    const UniqueView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 1));
    if (!view) return false;
    return ::NtAreMappedFilesTheSame(::GetModuleHandleW(nullptr), view.get()) == 0;
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

}  // namespace quro
