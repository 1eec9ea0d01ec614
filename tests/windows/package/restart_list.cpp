#include "restart_list.h"

namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";

}  // namespace

PendingSnapshot SavePendingDeletions()
{
    PendingSnapshot saved;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY, &saved.type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return saved;
    }
    saved.data.resize(size);
    saved.existed = ::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY, &saved.type,
                                   saved.data.data(), &size) == ERROR_SUCCESS;
    saved.data.resize(size);
    return saved;
}

void RestorePendingDeletions(const PendingSnapshot& saved)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (saved.existed) {
        ::RegSetValueExW(key, kPending, 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
    } else {
        ::RegDeleteValueW(key, kPending);
    }
    ::RegCloseKey(key);
}

void ClearPendingDeletions() { RestorePendingDeletions(PendingSnapshot{}); }

std::vector<std::wstring> PendingDeletions()
{
    std::vector<std::wstring> paths;
    const PendingSnapshot value = SavePendingDeletions();
    if (!value.existed) return paths;
    // Pairs of source and target; an empty target is a deletion, so the list
    // cannot be read as an ordinary multi-string, which ends at an empty one.
    const auto* units = reinterpret_cast<const wchar_t*>(value.data.data());
    const std::size_t count = value.data.size() / sizeof(wchar_t);
    std::vector<std::wstring> strings;
    for (std::size_t i = 0, start = 0; i < count; ++i) {
        if (units[i] == L'\0') {
            strings.emplace_back(units + start, i - start);
            start = i + 1;
        }
    }
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (strings[i].empty()) break;
        if (!strings[i + 1].empty()) continue;
        std::wstring path = strings[i];
        if (path.rfind(L"\\??\\", 0) == 0) path.erase(0, 4);
        paths.push_back(path);
    }
    return paths;
}
