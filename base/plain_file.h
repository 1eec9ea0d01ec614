// Files that an elevated run reads or writes in a folder its user can write
// (the language file, a log the command line names): a link planted in their
// place would make the run read a pipe that never answers, or truncate and
// write any file on the disk.
#pragma once

#include "base/unique_handles.h"

#include <windows.h>

#include <string>

namespace quro {

// Opens path as a plain file in a plain folder: the folder and the file are
// opened without following links, the file relative to the folder's handle
// (so that it is opened in the folder that was checked), and only a regular
// file with a single link is handed back. The folder's handle comes back in
// folder, held without delete sharing so that nobody renames it or swaps it
// for a link while it is held. disposition is FILE_OPEN or FILE_OPEN_IF:
// never one that truncates, so a file that turns out to be a link or to have
// a second name is left as it was. share is the file's.
UniqueFileHandle OpenPlainFile(const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG disposition,
                               UniqueFileHandle& folder);

}  // namespace quro
