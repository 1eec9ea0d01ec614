// File-system helpers shared by extraction, installation and removal. None of them
// follows a link to a folder: the program runs with administrator rights,
// and following a link would let whoever planted it turn "delete the old
// folder" into "delete anything on the disk".
#pragma once

#include "base/unique_handles.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace quro {

// How deep the removal and the walk go below the folder they are given: each
// level holds a handle and a listing. Folders deeper down stay (RemoveTree
// fails there) and are not listed; a restart's deletion of the top folder
// then fails as for any folder that is not empty.
inline constexpr std::size_t kMaxTreeDepth = 256;

// Any kind of entry counts as present; "not found" errors (2, 3, 53, 64, 123,
// 267) count as absent; any other error counts as present.
bool PathExists(const std::wstring& path);

// Opens the entry called name inside the folder behind folder's handle,
// without following a link: a folder checked through its handle is the folder
// the entry is opened in, whatever happened to its path meanwhile. disposition
// and options are NtCreateFile's (FILE_OPEN, FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE);
// the handle does synchronous I/O. Null with the last error set on failure.
UniqueFileHandle OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                              ULONG disposition, ULONG options);

// Creates folder and each missing ancestor, outermost first. Errors are not
// examined: a folder that was not made shows up when a file in it is created.
void CreateFolderChain(const std::wstring& folder);

// Deletes path with everything in it, contents before their folder; a link
// is removed itself, never what it points to. Stops at the first entry that
// cannot be deleted and returns false; a missing path, and an entry that is
// being deleted already, are no failure. Entries go the POSIX way where
// Windows offers it (the name goes at once, even while another program holds
// the file), else the classic way, where a folder whose last entries are
// still held stays "not empty" until they are let go: it is tried again for
// a moment before it counts as in use.
bool RemoveTree(const std::wstring& path);

// Every entry below folder, each folder before its contents; links to
// folders are listed but not entered.
std::vector<std::wstring> WalkTree(const std::wstring& folder);

// Registers every entry below folder for deletion at the next restart, each
// folder after everything inside it (Windows deletes a folder at restart only
// when it is empty by then, and works through the list in order), and then
// folder itself last when includeFolder is set.
void ScheduleTreeDeletionAtRestart(const std::wstring& folder, bool includeFolder);

}  // namespace quro
