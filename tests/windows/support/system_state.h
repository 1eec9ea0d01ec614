// The machine as the install and removal tests look at it and put it back:
// where things are installed, and registry values, read through the same
// Win32 calls any program would use. Written out here rather than taken from
// the program, so that a wrong path or key in the program fails the tests.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

namespace state {

std::wstring ProgramFiles();
std::wstring InstallFolder();
std::wstring LocalAppData();
std::wstring ProgramData();
std::wstring StartMenuShortcut();
std::wstring DesktopShortcut();
// The four data folders of the hosted application, in removal order.
std::vector<std::wstring> DataFolders();
std::wstring LanguageFile();
// Where the sample application records its clean-up calls.
std::wstring CleanupRecord();

// A registry value's raw bytes and type, or nullopt when it is absent.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
std::optional<RegValue> ReadValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view = 0);
bool WriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const RegValue& value, REGSAM view = 0);
void DeleteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view = 0);
// Puts a value back as it was: rewritten, or deleted when it was absent.
void RestoreValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::optional<RegValue>& saved,
                  REGSAM view = 0);
bool KeyExists(HKEY root, const wchar_t* subkey, REGSAM view = 0);
std::optional<std::wstring> ReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view = 0);
RegValue StringValue(const std::wstring& text);  // with its terminating NUL
RegValue DwordValue(DWORD number);

// Every sibling of the install folder named like an old folder ("Quro.old-" + digits).
std::vector<std::wstring> OldFolders();

inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuroHost";
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValue[] = L"Dralo Host";
// The values of the uninstall entry (in the 64-bit view); whether each is
// there, whatever it holds: what they hold is the registration test's.
inline constexpr const wchar_t* kUninstallValues[] = {
    L"DisplayName",     L"DisplayVersion", L"Publisher", L"InstallLocation", L"DisplayIcon",
    L"UninstallString", L"NoModify",       L"NoRepair",  L"EstimatedSize",   L"QuietUninstallString"};
bool UninstallEntryComplete();

}  // namespace state
