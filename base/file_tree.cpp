#include "base/file_tree.h"

#include "base/file_information_call.h"
#include "base/nt_create_file_call.h"
#include "base/responsive.h"
#include "base/set_file_information_call.h"
#include "base/unique_handles.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <vector>

namespace quro {

// The program deletes with administrator rights in folders that ordinary
// users can write (the data folders), so a user's process may swap any
// subfolder for a link between two of our steps. Nothing here therefore acts
// on a path it has built: each folder is opened once, without following a
// link, listed through its handle; each entry is opened relative to that
// handle and must be the very entry the listing showed (same volume and file
// id) before anything is done to it; and it is deleted through its own handle.

namespace {

// FileDispositionInfoEx (Windows 10 version 1607 and later; the
// ignore-read-only flag from version 1809) with its record and flags, which
// mingw-w64 declares only for newer targets than ours; the values are
// Windows' own.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionInfoEx {
    DWORD Flags;
};
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
// What Windows answers for the open of an entry that is being deleted; the
// Win32 mapping turns it into ERROR_ACCESS_DENIED, which would hide it.
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
// A folder left "not empty" by an entry whose holder has yet to let go is
// tried again, the pauses doubling, for about a second and a half.
constexpr DWORD kFirstNotEmptyPauseMs = 50;
constexpr DWORD kNotEmptyBudgetMs = 1500;
// OBJECT_ATTRIBUTES' OBJ_DONT_REPARSE (ntdef.h): the open fails with
// STATUS_REPARSE_POINT_ENCOUNTERED rather than follow a reparse point while
// the name is parsed. Systems that predate it refuse the attribute with
// STATUS_INVALID_PARAMETER; Wine 8 takes it.
constexpr ULONG kObjDontReparse = 0x1000;
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);

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

// An entry that vanished, or that someone else is deleting already: either
// way nothing of it is left for us to do.
bool IsGoneError(DWORD error) { return IsNotFoundError(error) || error == ERROR_DELETE_PENDING; }

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// How a system says it does not know an information class.
bool IsRefusedClass(DWORD error)
{
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

// Whether the folder behind a handle is one we may enter and empty: a plain
// folder, or a reparse point that is no link. Windows tells them apart by the
// tag (FileAttributeTagInfo): a name surrogate (symbolic link, junction,
// mount point) stands for another name and is deleted as itself, never
// entered; any other tag (a cloud-file placeholder of OneDrive and the like)
// sits on a real folder whose contents are here, and deleting it as itself
// would fail as "not empty". A reparse point whose tag the platform does not
// tell (Wine gives 0 for a Unix symbolic link) counts as a link.
bool IsEnterable(const BY_HANDLE_FILE_INFORMATION& shown, DWORD listedAttributes, DWORD reparseTag)
{
    if (!IsFolder(shown.dwFileAttributes)) return false;
    if (!IsLink(shown.dwFileAttributes) && !IsLink(listedAttributes)) return true;
    return reparseTag != 0 && !IsReparseTagNameSurrogate(reparseTag);
}

// Where an entry lives: its volume's serial number and its file id there.
// FILE_ID_INFO gives the 128-bit id that ReFS (a Dev Drive among others)
// needs, where the 64-bit id Microsoft documents as not unique; Windows
// before 8 refuses the class, and then the 32-bit serial and the 64-bit
// index serve, the index in the low half as NTFS places it in the long id.
struct Identity {
    ULONGLONG volume = 0;
    FILE_ID_128 id{};
};

Identity IdentityOf(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info)
{
    Identity identity;
    FILE_ID_INFO wide{};
    if (FileInformationCall(handle, FileIdInfo, &wide, sizeof wide)) {
        identity.volume = wide.VolumeSerialNumber;
        identity.id = wide.FileId;
        return identity;
    }
    identity.volume = info.dwVolumeSerialNumber;
    const ULONGLONG index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    std::memcpy(identity.id.Identifier, &index, sizeof index);
    return identity;
}

ULONGLONG VolumeOf(HANDLE folder)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(folder, &info)) return 0;
    return IdentityOf(folder, info).volume;
}

// One entry of a folder as its listing showed it: its name, attributes, and
// its volume and id, set when the file system gives ids.
struct Entry {
    std::wstring name;
    DWORD attributes = 0;
    Identity identity;
    bool hasId = false;
};

bool IsDotOrDotDot(const std::wstring& name) { return name == L"." || name == L".."; }

// The entries of one buffer of a listing, records of type Record.
template <class Record>
void TakeEntries(const void* buffer, ULONGLONG volume, std::vector<Entry>& entries)
{
    const auto* at = static_cast<const unsigned char*>(buffer);
    for (;;) {
        const auto* info = reinterpret_cast<const Record*>(at);
        Entry entry;
        entry.name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
        entry.attributes = info->FileAttributes;
        entry.identity.volume = volume;
        static_assert(sizeof info->FileId <= sizeof entry.identity.id);
        std::memcpy(&entry.identity.id, &info->FileId, sizeof info->FileId);
        const FILE_ID_128 none{};
        entry.hasId = std::memcmp(&entry.identity.id, &none, sizeof none) != 0;
        if (!IsDotOrDotDot(entry.name)) entries.push_back(std::move(entry));
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
    }
}

// Every entry of the folder behind handle, "." and ".." left out. False when
// the listing fails partway: what we did not see we cannot act on either.
// The listing with 128-bit ids (Windows 8 and later) first; systems that
// refuse that class (Wine 8 answers 87) list with the 64-bit ids.
bool ListFolder(HANDLE folder, std::vector<Entry>& entries)
{
    // The records hold LARGE_INTEGERs: the buffer is made of them.
    std::vector<LARGE_INTEGER> buffer(8192);
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof buffer[0]);
    const ULONGLONG volume = VolumeOf(folder);
    bool wide = true;
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdExtdDirectoryRestartInfo;
    for (;;) {
        if (!FileInformationCall(folder, kind, buffer.data(), bytes)) {
            const DWORD error = ::GetLastError();
            if (kind == FileIdExtdDirectoryRestartInfo && IsRefusedClass(error)) {
                wide = false;
                kind = FileIdBothDirectoryRestartInfo;
                continue;
            }
            return error == ERROR_NO_MORE_FILES;
        }
        if (wide) {
            kind = FileIdExtdDirectoryInfo;
            TakeEntries<FILE_ID_EXTD_DIR_INFO>(buffer.data(), volume, entries);
        } else {
            kind = FileIdBothDirectoryInfo;
            TakeEntries<FILE_ID_BOTH_DIR_INFO>(buffer.data(), volume, entries);
        }
    }
}

// Opens the entry that the listing of parent showed, relative to parent's
// handle and without following a link, and only if it is still that entry:
// a volume or file id that differs means the name now leads somewhere else
// (an entry swapped for a link, or, where the platform follows links on
// open, the link's target). Null with the last error set otherwise; a
// vanished entry sets ERROR_FILE_NOT_FOUND, one being deleted
// ERROR_DELETE_PENDING. shown, when given, receives what the handle shows of
// the entry (the reparse attribute as either query shows it), and
// reparseTag its reparse tag, 0 when it has none or the platform does not say.
UniqueFileHandle OpenEntry(HANDLE parent, const Entry& entry, ACCESS_MASK access,
                           BY_HANDLE_FILE_INFORMATION* shown = nullptr, DWORD* reparseTag = nullptr)
{
    UniqueFileHandle handle =
        OpenInFolder(parent, entry.name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_OPEN_FOR_BACKUP_INTENT);
    if (!handle) return handle;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) return UniqueFileHandle();
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (FileInformationCall(handle.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        info.dwFileAttributes |= tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if (!IsLink(tag.FileAttributes)) tag.ReparseTag = 0;
    }
    const Identity identity = IdentityOf(handle.get(), info);
    // A listing without ids (FAT) comes from a file system without links.
    const bool sameEntry = !entry.hasId || (identity.volume == entry.identity.volume &&
                                            std::memcmp(&identity.id, &entry.identity.id, sizeof identity.id) == 0);
    // A link that opens as something else was followed: whatever we did to
    // the handle would happen behind the link.
    const bool linkFollowed = IsLink(entry.attributes) && !IsLink(info.dwFileAttributes);
    const bool kindChanged = ((entry.attributes ^ info.dwFileAttributes) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!sameEntry || linkFollowed || kindChanged) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return UniqueFileHandle();
    }
    if (shown) *shown = info;
    if (reparseTag) *reparseTag = tag.ReparseTag;
    return handle;
}

// Marks the entry behind handle for deletion. First as POSIX deletes: the
// name goes as soon as our handle closes, even while another program (an
// antivirus, the search indexer, Explorer drawing an icon) still holds the
// file open with delete sharing, so that its folder can go right after; and
// a read-only entry goes without its attribute being touched. Windows 10
// before version 1809 (which does not know the read-only flag), file systems
// other than NTFS, and Wine refuse that call (ERROR_INVALID_PARAMETER,
// ERROR_NOT_SUPPORTED or ERROR_INVALID_FUNCTION); then the entry is marked
// the classic way, and Windows deletes it when its last handle closes. Any
// other refusal of the POSIX way (a folder not empty, an image in use) stands.
bool DeleteThroughHandle(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info)
{
    DispositionInfoEx posix{kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
    if (SetFileInformationCall(handle, kFileDispositionInfoEx, &posix, sizeof posix)) return true;
    const DWORD refused = ::GetLastError();
    if (refused != ERROR_INVALID_PARAMETER && refused != ERROR_NOT_SUPPORTED && refused != ERROR_INVALID_FUNCTION) {
        return false;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (SetFileInformationCall(handle, FileDispositionInfo, &disposition, sizeof disposition)) return true;
    // A read-only entry refuses the classic way: its attribute is cleared on
    // the same handle just before the retry, so a survivor keeps its other
    // attributes. Never on a link (the change would land on its target), and
    // never on a file with a second name: attributes belong to the file, and
    // a hard link planted in a data folder would have us clear the attribute
    // of a file elsewhere.
    const DWORD attributes = info.dwFileAttributes;
    if (IsLink(attributes) || !(attributes & FILE_ATTRIBUTE_READONLY) || info.nNumberOfLinks > 1 ||
        ::GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    FILE_BASIC_INFO basic{};  // zero times mean "leave as they are"
    basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationCall(handle, FileBasicInfo, &basic, sizeof basic)) return false;
    return SetFileInformationCall(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// A folder whose last entry was marked the classic way while another program
// held it stays "not empty" until that program lets go, which a scanner does
// within moments: it is tried again briefly before it counts as in use.
bool DeleteFolderThroughHandle(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info)
{
    DWORD pause = kFirstNotEmptyPauseMs;
    for (DWORD paused = 0;; paused += pause, pause *= 2) {
        if (DeleteThroughHandle(handle, info)) return true;
        if (::GetLastError() != ERROR_DIR_NOT_EMPTY || paused >= kNotEmptyBudgetMs) return false;
        WaitResponsive(pause);
    }
}

// A folder being emptied: its handle, what the handle showed of it, its
// listing and how far through it the removal is.
struct RemovalLevel {
    UniqueFileHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    std::vector<Entry> children;
    std::size_t next = 0;
};

enum class Outcome { Gone, Entered, Stays };

// Opens the entry of folder for deletion: a file or a link goes at once; a
// folder is listed and joins levels, so that its contents go first. A folder
// deeper than kMaxTreeDepth stays, with everything in it.
Outcome BeginRemoval(HANDLE folder, const Entry& entry, std::vector<RemovalLevel>& levels)
{
    ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES;
    if (IsFolder(entry.attributes)) access |= FILE_LIST_DIRECTORY;
    // Only a read-only entry needs its attributes written, for the classic retry.
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) && !IsLink(entry.attributes)) access |= FILE_WRITE_ATTRIBUTES;
    RemovalLevel level;
    DWORD reparseTag = 0;
    level.handle = OpenEntry(folder, entry, access, &level.info, &reparseTag);
    if (!level.handle) return IsGoneError(::GetLastError()) ? Outcome::Gone : Outcome::Stays;
    if (!IsEnterable(level.info, entry.attributes, reparseTag)) {
        return DeleteThroughHandle(level.handle.get(), level.info) ? Outcome::Gone : Outcome::Stays;
    }
    if (levels.size() >= kMaxTreeDepth) return Outcome::Stays;
    if (!ListFolder(level.handle.get(), level.children)) return Outcome::Stays;
    levels.push_back(std::move(level));
    return Outcome::Entered;
}

// Deletes the entry of parent with everything in it, each folder's contents
// before the folder; false at the first entry that stays. The folders on the
// way down are held on the heap, one handle a level, not on the stack: a
// user can nest some 12,000 folders in a data folder (a path within Windows'
// limit), which a recursion would have to follow to the end.
bool RemoveEntry(HANDLE parent, const Entry& top)
{
    std::vector<RemovalLevel> levels;
    const Outcome first = BeginRemoval(parent, top, levels);
    if (first != Outcome::Entered) return first == Outcome::Gone;
    while (!levels.empty()) {
        RemovalLevel& level = levels.back();
        if (level.next < level.children.size()) {
            const Entry child = level.children[level.next++];
            if (BeginRemoval(level.handle.get(), child, levels) == Outcome::Stays) return false;
            continue;
        }
        if (!DeleteFolderThroughHandle(level.handle.get(), level.info)) return false;
        // Closing the handle lets the folder go before its parent's turn.
        levels.pop_back();
    }
    return true;
}

// A folder being walked: its handle, its path, its listing and how far
// through it the walk is.
struct WalkLevel {
    UniqueFileHandle handle;
    std::wstring path;
    std::vector<Entry> children;
    std::size_t next = 0;
};

// Lists the folder behind top into entries (paths below path), each folder
// before its contents; links are listed, never entered, and so are folders
// deeper than kMaxTreeDepth. The levels are held on the heap, as in the removal.
void WalkInto(UniqueFileHandle top, const std::wstring& path, std::vector<std::wstring>& entries)
{
    std::vector<WalkLevel> levels;
    levels.push_back(WalkLevel{std::move(top), path, {}, 0});
    // A folder that cannot be listed ends its part of the walk: what we do
    // not see, we cannot schedule either.
    ListFolder(levels.back().handle.get(), levels.back().children);
    while (!levels.empty()) {
        WalkLevel& level = levels.back();
        if (level.next == level.children.size()) {
            levels.pop_back();
            continue;
        }
        const Entry child = level.children[level.next++];
        std::wstring childPath = level.path + L'\\' + child.name;
        entries.push_back(childPath);
        if (!IsFolder(child.attributes) || levels.size() >= kMaxTreeDepth) continue;
        BY_HANDLE_FILE_INFORMATION shown{};
        DWORD reparseTag = 0;
        UniqueFileHandle handle =
            OpenEntry(level.handle.get(), child, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, &shown, &reparseTag);
        if (!handle || !IsEnterable(shown, child.attributes, reparseTag)) continue;
        WalkLevel below{std::move(handle), std::move(childPath), {}, 0};
        ListFolder(below.handle.get(), below.children);
        levels.push_back(std::move(below));
    }
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

}  // namespace

UniqueFileHandle OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                              ULONG disposition, ULONG options)
{
    UNICODE_STRING relative;
    relative.Buffer = const_cast<wchar_t*>(name.c_str());
    relative.Length = relative.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    // FILE_OPEN_REPARSE_POINT opens a link itself; OBJ_DONT_REPARSE refuses
    // any reparse on the way there as well. Where the system refuses the
    // attribute, the open goes again without it, as it went before.
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &relative, OBJ_CASE_INSENSITIVE | kObjDontReparse, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE opened = nullptr;
    const ULONG openOptions = options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;
    NTSTATUS result = NtCreateFileCall(&opened, access | SYNCHRONIZE, &object, &status, FILE_ATTRIBUTE_NORMAL, share,
                                       disposition, openOptions);
    if (result == kStatusInvalidParameter) {
        object.Attributes &= ~kObjDontReparse;
        result = NtCreateFileCall(&opened, access | SYNCHRONIZE, &object, &status, FILE_ATTRIBUTE_NORMAL, share,
                                  disposition, openOptions);
    }
    if (result < 0) {
        ::SetLastError(result == kStatusDeletePending ? ERROR_DELETE_PENDING : ::RtlNtStatusToDosError(result));
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
    if (!parent || !FindEntry(parent.get(), name, top) || !IsFolder(top.attributes)) return entries;
    BY_HANDLE_FILE_INFORMATION shown{};
    DWORD reparseTag = 0;
    UniqueFileHandle handle =
        OpenEntry(parent.get(), top, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, &shown, &reparseTag);
    // Nothing lies below a link as far as we are concerned.
    if (handle && IsEnterable(shown, top.attributes, reparseTag)) WalkInto(std::move(handle), folder, entries);
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

}  // namespace quro
