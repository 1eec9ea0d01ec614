#include "tests/windows/support/system_state.h"

#include "tests/windows/support/test_files.h"

#include "base/system_paths.h"
#include "base/unique_handles.h"

using namespace quro;

namespace state {

std::wstring ProgramFiles() { return KnownFolderPath(FOLDERID_ProgramFiles); }
std::wstring InstallFolder() { return ProgramFiles() + L"\\Quro"; }
std::wstring LocalAppData() { return KnownFolderPath(FOLDERID_LocalAppData); }
std::wstring ProgramData() { return KnownFolderPath(FOLDERID_ProgramData); }
std::wstring StartMenuShortcut() { return KnownFolderPath(FOLDERID_CommonPrograms) + L"\\Quro Host.lnk"; }
std::wstring DesktopShortcut() { return KnownFolderPath(FOLDERID_PublicDesktop) + L"\\Quro Host.lnk"; }

std::vector<std::wstring> DataFolders()
{
    const std::wstring local = LocalAppData();
    return {ProgramData() + L"\\DraloSecure", local + L"\\DraloHostTrial", local + L"\\DraloSecure",
            local + L"\\DraloTransferSecure"};
}

std::wstring LanguageFile() { return LocalAppData() + L"\\DraloHostTrial\\language.txt"; }
std::wstring CleanupRecord() { return ProgramData() + L"\\QuroSample\\cleanup-calls.txt"; }

std::optional<RegValue> ReadValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return std::nullopt;
    RegValue value;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = ::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool WriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const RegValue& value, REGSAM view)
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, subkey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExW(key.get(), name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size())) ==
           ERROR_SUCCESS;
}

void DeleteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_SET_VALUE | view, key.put()) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key.get(), name);
}

void RestoreValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const std::optional<RegValue>& saved,
                  REGSAM view)
{
    if (saved) {
        WriteValue(root, subkey, name, *saved, view);
    } else {
        DeleteValue(root, subkey, name, view);
    }
}

bool KeyExists(HKEY root, const wchar_t* subkey, REGSAM view)
{
    UniqueRegKey key;
    return ::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | view, key.put()) == ERROR_SUCCESS;
}

std::optional<std::wstring> ReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view)
{
    const std::optional<RegValue> value = ReadValue(root, subkey, name, view);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(value->data.data()), value->data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

RegValue StringValue(const std::wstring& text)
{
    RegValue value;
    value.type = REG_SZ;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    return value;
}

RegValue DwordValue(DWORD number)
{
    RegValue value;
    value.type = REG_DWORD;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    value.data.assign(bytes, bytes + sizeof number);
    return value;
}

std::vector<std::wstring> OldFolders()
{
    std::vector<std::wstring> folders;
    for (const std::wstring& name : List(ProgramFiles(), L"Quro.old-*"))
        folders.push_back(ProgramFiles() + L"\\" + name);
    return folders;
}

bool UninstallEntryComplete()
{
    for (const wchar_t* name : kUninstallValues) {
        if (!ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, name, KEY_WOW64_64KEY)) return false;
    }
    return true;
}

}  // namespace state
