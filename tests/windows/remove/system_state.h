// What the removal tests look at and put back: folders, registry values and
// the list of deletions at restart, read through the same Win32 calls any
// program would use.
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

bool Exists(const std::wstring& path);
// Attributes without following a link; INVALID_FILE_ATTRIBUTES when absent.
DWORD OwnAttributes(const std::wstring& path);
// Names directly inside folder.
std::vector<std::wstring> List(const std::wstring& folder, const std::wstring& pattern = L"*");
// Every entry below folder, each folder before its contents; links are not entered.
std::vector<std::wstring> Walk(const std::wstring& folder);
// Test clean-up: deletes a tree without entering links.
void DeleteTree(const std::wstring& path);
bool WriteFileText(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadFileText(const std::wstring& path);

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
RegValue StringValue(const std::wstring& text);

inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuroHost";
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValue[] = L"Dralo Host";

}  // namespace state
