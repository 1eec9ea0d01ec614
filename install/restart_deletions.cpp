#include "install/restart_deletions.h"

#include "base/path_compare.h"
#include "base/unique_handles.h"

#include <windows.h>

#include <string_view>

namespace quro {

namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr const wchar_t* kListValues[] = {L"PendingFileRenameOperations", L"PendingFileRenameOperations2"};

// Rewrites one list value without the deletions below folders. The value is
// pairs of strings, a source and its target, where an empty target means
// deletion; it therefore cannot be read as an ordinary multi-string, which
// ends at its first empty string. Each kept pair is copied unit for unit.
void EditList(HKEY key, const wchar_t* value, const std::vector<std::wstring>& folders)
{
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ ||
        size % sizeof(wchar_t) != 0) {
        return;
    }
    std::wstring data(size / sizeof(wchar_t), L'\0');
    if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size != data.size() * sizeof(wchar_t)) {
        return;  // changed between the two reads: leave it to the next run
    }

    std::wstring kept;
    bool changed = false;
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t sourceEnd = data.find(L'\0', at);
        if (sourceEnd == std::wstring::npos) return;  // an unterminated string: not ours to rewrite
        if (sourceEnd == at) {
            // The list's closing empty string; anything after it is not part of the list.
            break;
        }
        const std::size_t targetEnd = data.find(L'\0', sourceEnd + 1);
        if (targetEnd == std::wstring::npos) return;  // a source without its target
        const std::wstring_view source(data.data() + at, sourceEnd - at);
        const bool deletion = targetEnd == sourceEnd + 1;
        bool ours = false;
        if (deletion) {
            // Windows writes the list with the "\??\" prefix; a path without one means the same.
            const std::wstring_view path = source.substr(0, 4) == L"\\??\\" ? source.substr(4) : source;
            for (const std::wstring& folder : folders) ours = ours || IsAtOrBelow(path, folder);
        }
        if (ours) {
            changed = true;
        } else {
            kept.append(data, at, targetEnd + 1 - at);
        }
        at = targetEnd + 1;
    }
    if (!changed) return;
    if (kept.empty()) {
        ::RegDeleteValueW(key, value);
        return;
    }
    kept.push_back(L'\0');
    ::RegSetValueExW(key, value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                     static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
}

}  // namespace

void ForgetRestartDeletions(const std::vector<std::wstring>& folders)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    for (const wchar_t* value : kListValues) EditList(key.get(), value, folders);
}

}  // namespace quro
