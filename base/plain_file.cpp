#include "base/plain_file.h"

#include "base/file_tree.h"

namespace quro {

namespace {

bool IsPlainEntry(HANDLE handle, const std::wstring& path, bool folder)
{
    // Wine shows a link to a folder only in the attributes of its path, not
    // in those of the handle opened on it; Windows shows it in both.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    if (folder) return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks == 1 &&
           ::GetFileType(handle) == FILE_TYPE_DISK;
}

UniqueFileHandle HoldPlainFolder(const std::wstring& folder)
{
    UniqueFileHandle handle(::CreateFileW(folder.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (handle && !IsPlainEntry(handle.get(), folder, true)) handle.reset();
    return handle;
}

}  // namespace

UniqueFileHandle OpenPlainFile(const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG disposition,
                               UniqueFileHandle& folder)
{
    const size_t slash = path.find_last_of(L'\\');
    folder = HoldPlainFolder(slash == std::wstring::npos ? L"." : path.substr(0, slash));
    if (!folder) return UniqueFileHandle();
    UniqueFileHandle file = OpenInFolder(folder.get(), path.substr(slash + 1), access | FILE_READ_ATTRIBUTES, share,
                                         disposition, FILE_NON_DIRECTORY_FILE);
    if (file && !IsPlainEntry(file.get(), path, false)) file.reset();
    return file;
}

}  // namespace quro
