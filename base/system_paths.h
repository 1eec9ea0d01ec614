// Paths that Windows names: the known folders and the running program's own file.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace quro {

// The folder's path as the shell returns it (no trailing backslash), or the
// empty string when it cannot be resolved.
std::wstring KnownFolderPath(REFKNOWNFOLDERID folder);

// Program Files + "\Quro", where the hosted application is installed.
// Installation, removal and the closing of the running application all call
// this, so they always agree on the folder.
std::wstring InstallFolder();

// GetModuleFileNameW of the executable with a 520-unit buffer; empty on failure.
std::wstring OwnExecutablePath();

// path made whole against the working folder, with "." and ".." parts and
// doubled separators settled, as GetFullPathNameW computes it: by joining
// strings alone, asking no file system and no server. Empty on failure.
std::wstring FullPathOf(const wchar_t* path);

}  // namespace quro
