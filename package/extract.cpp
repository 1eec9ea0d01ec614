#include "package/extract.h"

#include "base/file_tree.h"
#include "base/responsive.h"
#include "base/unique_handles.h"
#include "package/write_file_call.h"

#include <windows.h>

namespace quro {

namespace {

constexpr wchar_t kCouldNotWrite[] = L"could not write ";

// Each WriteFile moves at most 16 MiB, which keeps every count within the
// call's 32-bit limit; a file of up to 16 MiB is one call.
constexpr std::uint64_t kMaxChunk = 16u << 20;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveDesignator(const std::wstring& folder)
{
    if (folder.size() != 2 || folder[1] != L':') return false;
    const wchar_t c = folder[0];
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || IsDriveDesignator(folder) || IsSeparator(folder.back())) return folder + name;
    return folder + L'\\' + name;
}

// The folder that holds path: everything before its last component, without
// the separators in front of that component. A root keeps its separator.
std::wstring ParentFolder(const std::wstring& path)
{
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) --end;  // drop the last component
    const std::size_t withSeparators = end;
    while (end > 0 && IsSeparator(path[end - 1])) --end;
    if (end == 0) return path.substr(0, withSeparators);                                    // "\x" keeps "\"
    if (end == 2 && path[1] == L':') return path.substr(0, 3 <= withSeparators ? 3 : end);  // "C:\x" keeps "C:\"
    return path.substr(0, end);
}

bool WriteEntry(const std::wstring& path, const PackageEntry& entry)
{
    UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::uint8_t* next = entry.data;
    std::uint64_t left = entry.size;
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk);
        DWORD written = 0;
        if (!WriteFileCall(file.get(), next, chunk, &written) || written != chunk) return false;
        next += chunk;
        left -= chunk;
        // A large file takes a while to write: the window answers between pieces.
        if (left > 0) StayResponsive();
    }
    return true;
}

}  // namespace

std::wstring ExtractToFolder(const std::wstring& folder, const PackageEntries& entries,
                             const ProgressCallback& progress)
{
    std::int32_t written = 0;
    for (const PackageEntry& entry : entries) {
        // The file system refuses a NUL inside a name, but the C string that
        // carries the path would end there and write a file of another,
        // shorter name: refuse it here as the file system would.
        if (entry.name.find(L'\0') != std::wstring::npos) return kCouldNotWrite + entry.name;
        const std::wstring path = JoinPath(folder, entry.name);
        CreateFolderChain(ParentFolder(path));
        if (!WriteEntry(path, entry)) return kCouldNotWrite + entry.name;
        ++written;
        if (progress) progress(written);
    }
    return {};
}

}  // namespace quro
