// Where the hosted application is installed and registered. Paths are plain
// concatenations of a known folder (as the shell returns it, without a
// trailing backslash) and a fixed suffix; nothing is normalised.
#pragma once

#include "base/system_paths.h"

#include <windows.h>

#include <cstdint>
#include <string>

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

inline constexpr const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuroHost";
inline constexpr const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// In the view the process happens to have: installation and removal open the
// autostart key alike.
inline constexpr REGSAM kRunAccess = KEY_READ | KEY_WRITE;

// Creates or opens the uninstall entry (64-bit view) and writes its nine
// values; silent on failure. Reads the size of the unpacked package.
void WriteUninstallEntry(const std::wstring& installFolder, const std::wstring& mainExecutable);
// Points an existing per-user autostart value at the installed main
// executable; never creates one.
void RetargetAutostartValue(const std::wstring& mainExecutable);
