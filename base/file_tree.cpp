#include "base/file_tree.h"

#include "base/unique_handles.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

// The program deletes with administrator rights in folders that ordinary
// users can write (the data folders), so a user's process may swap any
// subfolder for a link between two of our steps. Nothing here therefore acts
// on a path it has built: each folder is opened once, without following a
// link, listed through its handle; each entry is opened relative to that
// handle and must be the very entry the listing showed (same file id) before
// anything is done to it; and it is deleted through its own handle.

namespace {

bool IsNotFoundError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:   // 2
    case ERROR_PATH_NOT_FOUND:   // 3
    case ERROR_BAD_NETPATH:      // 53
    case ERROR_NETNAME_DELETED:  // 64
    case ERROR_INVALID_NAME:     // 123
    case ERROR_DIRECTORY:        // 267
        return true;
    default:
        return false;
    }
}

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// A folder we may enter: a real directory, not a link or junction to one.
bool IsPlainFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(attributes); }

// One entry of a folder as its listing showed it.
struct Entry {
    std::wstring name;
    DWORD attributes = 0;
    LONGLONG id = 0;
};

bool IsDotOrDotDot(const std::wstring& name) { return name == L"." || name == L".."; }

// Every entry of the folder behind handle, "." and ".." left out. False when
// the listing fails partway: what we did not see we cannot act on either.
bool ListFolder(HANDLE folder, std::vector<Entry>& entries)
{
    // FILE_ID_BOTH_DIR_INFO holds LARGE_INTEGERs: the buffer is made of them.
    std::vector<LARGE_INTEGER> buffer(8192);
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof buffer[0]);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), bytes)) {
            return ::GetLastError() == ERROR_NO_MORE_FILES;
        }
        kind = FileIdBothDirectoryInfo;
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            Entry entry;
            entry.name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
            entry.attributes = info->FileAttributes;
            entry.id = info->FileId.QuadPart;
            if (!IsDotOrDotDot(entry.name)) entries.push_back(std::move(entry));
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }
}

// Opens the entry that the listing of parent showed, relative to parent's
// handle and without following a link, and only if it is still that entry:
// a file id that differs means the name now leads somewhere else (an entry
// swapped for a link, or, where the platform follows links on open, the
// link's target). Null with the last error set otherwise; a vanished entry
// sets ERROR_FILE_NOT_FOUND.
UniqueFileHandle OpenEntry(HANDLE parent, const Entry& entry, ACCESS_MASK access)
{
    UniqueFileHandle handle =
        OpenInFolder(parent, entry.name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_OPEN_FOR_BACKUP_INTENT);
    if (!handle) return handle;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) return UniqueFileHandle();
    const LONGLONG id = (static_cast<LONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    // A listing without ids (FAT) comes from a file system without links.
    const bool sameEntry = entry.id == 0 || id == entry.id;
    // A link that opens as something else was followed: whatever we did to
    // the handle would happen behind the link.
    const bool linkFollowed = IsLink(entry.attributes) && !IsLink(info.dwFileAttributes);
    const bool kindChanged = ((entry.attributes ^ info.dwFileAttributes) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!sameEntry || linkFollowed || kindChanged) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return UniqueFileHandle();
    }
    return handle;
}

// The folder that holds path, opened for listing; its own links are the
// system's and are followed.
UniqueFileHandle OpenParent(const std::wstring& path, std::wstring& name)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash + 1 == path.size()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return UniqueFileHandle();
    }
    name = path.substr(slash + 1);
    std::wstring parent = path.substr(0, slash);
    if (parent.empty() || parent.back() == L':') parent += L'\\';  // a drive's root
    return UniqueFileHandle(::CreateFileW(parent.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The entry of parent named name, as the file system compares names.
bool FindEntry(HANDLE parent, const std::wstring& name, Entry& found)
{
    std::vector<Entry> entries;
    if (!ListFolder(parent, entries)) return false;
    for (Entry& entry : entries) {
        if (::CompareStringOrdinal(entry.name.c_str(), static_cast<int>(entry.name.size()), name.c_str(),
                                   static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            found = std::move(entry);
            return true;
        }
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

// Marks the entry for deletion; Windows deletes it when its last handle
// closes. A read-only entry refuses: its attribute is cleared on the same
// handle just before the retry, so a survivor keeps its other attributes. A
// link's attributes are never touched.
bool DeleteThroughHandle(HANDLE handle, DWORD attributes)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) return true;
    if (IsLink(attributes) || !(attributes & FILE_ATTRIBUTE_READONLY) || ::GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    FILE_BASIC_INFO basic{};  // zero times mean "leave as they are"
    basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) return false;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Deletes the entry of parent with everything in it; false at the first
// entry that stays. An entry that vanished meanwhile is no failure.
bool RemoveEntry(HANDLE parent, const Entry& entry)
{
    const bool enter = IsPlainFolder(entry.attributes);
    ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES;
    if (enter) access |= FILE_LIST_DIRECTORY;
    // Only a read-only entry needs its attributes written, for the retry.
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) && !IsLink(entry.attributes)) access |= FILE_WRITE_ATTRIBUTES;
    UniqueFileHandle handle = OpenEntry(parent, entry, access);
    if (!handle) return IsNotFoundError(::GetLastError());
    if (enter) {
        std::vector<Entry> children;
        if (!ListFolder(handle.get(), children)) return false;
        for (const Entry& child : children) {
            if (!RemoveEntry(handle.get(), child)) return false;
        }
    }
    return DeleteThroughHandle(handle.get(), entry.attributes);
}

// Lists the folder behind handle into entries (paths below path), each
// folder before its contents; links are listed, never entered.
void WalkInto(HANDLE folder, const std::wstring& path, std::vector<std::wstring>& entries)
{
    std::vector<Entry> children;
    // A folder that cannot be listed ends its part of the walk: what we do
    // not see, we cannot schedule either.
    ListFolder(folder, children);
    for (const Entry& child : children) {
        const std::wstring childPath = path + L'\\' + child.name;
        entries.push_back(childPath);
        if (!IsPlainFolder(child.attributes)) continue;
        const UniqueFileHandle handle = OpenEntry(folder, child, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
        if (handle) WalkInto(handle.get(), childPath, entries);
    }
}

}  // namespace

UniqueFileHandle OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                              ULONG disposition, ULONG options)
{
    UNICODE_STRING relative;
    relative.Buffer = const_cast<wchar_t*>(name.c_str());
    relative.Length = relative.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &relative, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE opened = nullptr;
    const NTSTATUS result =
        ::NtCreateFile(&opened, access | SYNCHRONIZE, &object, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                       disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (result < 0) {
        ::SetLastError(::RtlNtStatusToDosError(result));
        return UniqueFileHandle();
    }
    return UniqueFileHandle(opened);
}

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
    // The top is looked up in its folder's listing like any other entry: a
    // link given as the tree is removed as a link.
    std::wstring name;
    const UniqueFileHandle parent = OpenParent(path, name);
    if (!parent) return IsNotFoundError(::GetLastError());
    Entry top;
    if (!FindEntry(parent.get(), name, top)) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return RemoveEntry(parent.get(), top);
}

std::vector<std::wstring> WalkTree(const std::wstring& folder)
{
    std::vector<std::wstring> entries;
    std::wstring name;
    const UniqueFileHandle parent = OpenParent(folder, name);
    Entry top;
    // Nothing lies below a link as far as we are concerned.
    if (!parent || !FindEntry(parent.get(), name, top) || !IsPlainFolder(top.attributes)) return entries;
    const UniqueFileHandle handle = OpenEntry(parent.get(), top, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
    if (handle) WalkInto(handle.get(), folder, entries);
    return entries;
}

void ScheduleTreeDeletionAtRestart(const std::wstring& folder, bool includeFolder)
{
    // The walk lists each folder before its contents; registered backwards,
    // every folder comes after everything inside it and is empty by its turn.
    // A top folder that is a link yields nothing, and only the link goes.
    const std::vector<std::wstring> entries = WalkTree(folder);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        ::MoveFileExW(it->c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    if (includeFolder) ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
