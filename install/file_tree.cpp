#include "install/file_tree.h"

#include "app/unique_handles.h"

#include <windows.h>

namespace {

bool IsNotFoundError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:       // 2
    case ERROR_PATH_NOT_FOUND:       // 3
    case ERROR_BAD_NETPATH:          // 53
    case ERROR_NETNAME_DELETED:      // 64
    case ERROR_INVALID_NAME:         // 123
    case ERROR_DIRECTORY:            // 267
        return true;
    default:
        return false;
    }
}

bool IsDotOrDotDot(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// A folder we may enter: a real directory, not a link or junction to one.
bool IsPlainFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A read-only file or folder refuses deletion; its attribute is cleared just
// before the retry, so a survivor keeps its other attributes.
bool DeleteWithRetry(const std::wstring& path, DWORD attributes, bool folder)
{
    auto remove = [&] { return folder ? ::RemoveDirectoryW(path.c_str()) : ::DeleteFileW(path.c_str()); };
    if (remove()) return true;
    if (!(attributes & FILE_ATTRIBUTE_READONLY) || ::GetLastError() != ERROR_ACCESS_DENIED) return false;
    ::SetFileAttributesW(path.c_str(), (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
    return remove() != FALSE;
}

// Removes everything inside folder; false at the first entry that stays.
bool RemoveContents(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!find) return IsNotFoundError(::GetLastError()) || ::GetLastError() == ERROR_NO_MORE_FILES;
    do {
        if (IsDotOrDotDot(found.cFileName)) continue;
        const std::wstring path = folder + L'\\' + found.cFileName;
        const DWORD attributes = found.dwFileAttributes;
        bool removed;
        if (IsPlainFolder(attributes)) {
            removed = RemoveContents(path) && DeleteWithRetry(path, attributes, true);
        } else {
            // A directory link or junction is removed as a folder, never entered.
            removed = DeleteWithRetry(path, attributes, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
        if (!removed && PathExists(path)) return false;
    } while (::FindNextFileW(find.get(), &found));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

void WalkInto(const std::wstring& folder, std::vector<std::wstring>& entries)
{
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    // A folder that cannot be listed ends its part of the walk: what we do
    // not see, we cannot schedule either.
    if (!find) return;
    do {
        if (IsDotOrDotDot(found.cFileName)) continue;
        std::wstring path = folder + L'\\' + found.cFileName;
        entries.push_back(path);
        if (IsPlainFolder(found.dwFileAttributes)) WalkInto(path, entries);
    } while (::FindNextFileW(find.get(), &found));
}

}  // namespace

void CreateFolderChain(const std::wstring& folder)
{
    const auto isSeparator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    for (std::size_t i = 1; i < folder.size(); ++i) {
        if (isSeparator(folder[i]) && !isSeparator(folder[i - 1])) {
            ::CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
        }
    }
    if (!folder.empty()) ::CreateDirectoryW(folder.c_str(), nullptr);
}

bool PathExists(const std::wstring& path)
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return !IsNotFoundError(::GetLastError());
}

bool RemoveTree(const std::wstring& path)
{
    // The top itself is looked at without following it: a link given as the
    // tree is removed as a link.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return IsNotFoundError(::GetLastError());
    }
    const DWORD attributes = data.dwFileAttributes;
    if (IsPlainFolder(attributes)) {
        if (!RemoveContents(path)) return false;
        return DeleteWithRetry(path, attributes, true) || !PathExists(path);
    }
    return DeleteWithRetry(path, attributes, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) || !PathExists(path);
}

std::vector<std::wstring> WalkTree(const std::wstring& folder)
{
    std::vector<std::wstring> entries;
    WalkInto(folder, entries);
    return entries;
}

void ScheduleTreeDeletionAtRestart(const std::wstring& folder, bool includeFolder)
{
    // The walk lists each folder before its contents; registered backwards,
    // every folder comes after everything inside it and is empty by its turn.
    const std::vector<std::wstring> entries = WalkTree(folder);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        ::MoveFileExW(it->c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    if (includeFolder) ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
