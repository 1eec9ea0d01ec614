// Where the hosted application is installed: the install folder and its
// siblings, the files in it and the shortcuts. Paths are plain concatenations
// of a known folder (as the shell returns it, without a trailing backslash)
// and a fixed suffix; nothing is normalised.
#pragma once

#include <cstdint>
#include <string>

namespace quro {

// Siblings of the install folder, so that the swap is a rename on one volume.
std::wstring StagingFolder(const std::wstring& installFolder);
std::wstring OldFolder(const std::wstring& installFolder, std::uint64_t tickCount);
// name followed by tickCount in decimal: how the folders that one run makes
// for itself (an old folder, the removal's temporary copy) are told apart.
std::wstring WithTickCount(const std::wstring& name, std::uint64_t tickCount);
std::wstring MainExecutablePath(const std::wstring& installFolder);
std::wstring SetupCopyPath(const std::wstring& installFolder);
std::wstring StartMenuShortcutPath();
std::wstring DesktopShortcutPath();

}  // namespace quro
