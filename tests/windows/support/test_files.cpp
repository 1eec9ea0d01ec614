#include "tests/windows/support/test_files.h"

#include "base/unique_handles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <system_error>

using namespace quro;

ScratchFolder::ScratchFolder()
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base = temp;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (;;) {
        path_ = base + L"\\quro-package-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
        // Only a name taken already is worth another try.
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot make a scratch folder below the temporary folder: error " << ::GetLastError();
            break;
        }
    }
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadBytes(const std::wstring& path, Bytes& out)
{
    out.clear();
    // Shared for writing too: the sample application may still hold what it records.
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size = {};
    bool ok = ::GetFileSizeEx(file.get(), &size);
    if (ok) out.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (ok && done < out.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(out.size() - done < (1u << 30) ? out.size() - done : (1u << 30));
        ok = ::ReadFile(file.get(), out.data() + done, want, &got, nullptr) && got > 0;
        done += got;
    }
    return ok;
}

bool WriteBytes(const std::wstring& path, const Bytes& data)
{
    UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return data.empty() || (::WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                            written == data.size());
}

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
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return;
    do {
        if (IsDots(found.cFileName)) continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        out.push_back(path);
        if (IsEnterable(found.dwFileAttributes)) WalkInto(path, out);
    } while (::FindNextFileW(find.get(), &found));
}

}  // namespace

std::vector<std::wstring> List(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &found));
    if (!find) return names;
    do {
        if (!IsDots(found.cFileName)) names.push_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
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
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos) ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    return WriteBytes(path, BytesOf(bytes));
}

std::optional<std::string> ReadFileText(const std::wstring& path)
{
    Bytes bytes;
    if (!ReadBytes(path, bytes)) return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}

std::wstring ProgramFolder()
{
    wchar_t path[32768] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, 32768);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty()) return {};
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), count);
    return out;
}
