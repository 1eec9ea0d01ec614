#include "base/system_paths.h"

#include "base/unique_handles.h"

namespace quro {

namespace {
constexpr DWORD kPathBufferLength = 520;
}  // namespace

std::wstring KnownFolderPath(REFKNOWNFOLDERID folder)
{
    UniqueCoTaskMemString path;
    const HRESULT result = ::SHGetKnownFolderPath(folder, 0, nullptr, path.put());
    // The shell may hand out memory even with a failure code; the owner frees it either way.
    if (FAILED(result) || !path) return std::wstring();
    return std::wstring(path.get());
}

std::wstring InstallFolder() { return KnownFolderPath(FOLDERID_ProgramFiles) + L"\\Quro"; }

std::wstring OwnExecutablePath()
{
    wchar_t path[kPathBufferLength] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, kPathBufferLength);
    // A path that filled the buffer was cut short, and a cut path may name
    // some other file: one that is started elevated or copied as the
    // uninstaller. It counts as no path, so the relaunch and the copy fail.
    if (length == 0 || length >= kPathBufferLength) return {};
    return std::wstring(path, length);
}

std::wstring FullPathOf(const wchar_t* path)
{
    const DWORD needed = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path, needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return std::wstring();
    full.resize(length);
    return full;
}

}  // namespace quro
