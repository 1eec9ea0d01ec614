#include "tests/windows/remove/system_state.h"

#include "install/locations.h"

#include <algorithm>
#include <cwchar>

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

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD OwnAttributes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return INVALID_FILE_ATTRIBUTES;
    return data.dwFileAttributes;
}

namespace {

bool IsDots(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

bool IsEnterable(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void WalkInto(const std::wstring& folder, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDots(found.cFileName)) continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        out.push_back(path);
        if (IsEnterable(found.dwFileAttributes)) WalkInto(path, out);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

}  // namespace

std::vector<std::wstring> List(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!IsDots(found.cFileName)) names.push_back(found.cFileName);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> Walk(const std::wstring& folder)
{
    std::vector<std::wstring> out;
    WalkInto(folder, out);
    return out;
}

void DeleteTree(const std::wstring& path)
{
    const DWORD attributes = OwnAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesW(path.c_str(), (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
    if (IsEnterable(attributes)) {
        for (const std::wstring& name : List(path)) DeleteTree(path + L"\\" + name);
        ::RemoveDirectoryW(path.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::RemoveDirectoryW(path.c_str());
    } else {
        ::DeleteFileW(path.c_str());
    }
}

bool WriteFileText(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(file);
    return ok;
}

std::optional<std::string> ReadFileText(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
    ::CloseHandle(file);
    return text;
}

std::optional<RegValue> ReadValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return std::nullopt;
    RegValue value;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = ::RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool WriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const RegValue& value, REGSAM view)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, subkey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        ::RegSetValueExW(key, name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void DeleteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key, name);
    ::RegCloseKey(key);
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
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
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

}  // namespace state
