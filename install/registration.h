// The registration: the uninstall entry in the list of installed programs,
// and the hosted application's per-user autostart value.
#pragma once

#include "base/path_compare.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace quro {

inline constexpr const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuroHost";
inline constexpr const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// In the view the process happens to have: installation and removal open the
// autostart key alike.
inline constexpr REGSAM kRunAccess = KEY_READ | KEY_WRITE;

// Creates or opens the uninstall entry (64-bit view) and writes its ten
// values; silent on failure. Reads the size of the unpacked package.
void WriteUninstallEntry(const std::wstring& installFolder, const std::wstring& mainExecutable);
// Points an existing per-user autostart value at the installed main
// executable; never creates one.
void RetargetAutostartValue(const std::wstring& mainExecutable);
// Whether an autostart value (its text and its type as the registry gives
// them) starts or names a program inside folder, in any of the ways Windows
// reads one: an expandable value expanded, "/" for "\\", the folder in its
// long or short form, the program path taken as Windows splits a command line.
bool AutostartPointsInside(std::wstring_view data, DWORD type, const FolderForms& folder);

}  // namespace quro
