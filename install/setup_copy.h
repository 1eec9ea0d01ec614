// The uninstaller that installation leaves: a copy of the setup program that
// runs, taken from the file it was started from.
#pragma once

#include "base/unique_handles.h"

#include <string>

namespace quro {

// The running program's own file, opened for reading with sharing that
// refuses renaming, deleting and writing it for as long as the handle is
// held; an empty handle when it cannot be opened. Taken once, at the start
// of an install: the folder a download sits in is the user's to write, and
// a file planted under the program's name later would otherwise become the
// uninstaller that runs with administrator rights.
UniqueFileHandle OpenOwnExecutable();

// Whether the file behind handle is the very file this process was started
// from. The path the loader reports is only a name: between the start and
// the open, whoever can write the download folder may rename the program
// and put another file in its place, which would then be installed as the
// uninstaller and later run with administrator rights.
bool IsRunningImage(HANDLE file);

// Writes the whole file behind source to target, replacing what is there.
// A copy that fails partway is deleted rather than left half written.
bool CopyFromHandle(HANDLE source, const std::wstring& target);

}  // namespace quro
