#include "tests/windows/support/restart_list.h"

#include "base/unique_handles.h"

using namespace quro;

namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";

PendingSnapshot::Value ReadList(const wchar_t* name)
{
    PendingSnapshot::Value value;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, name, RRF_RT_ANY, &value.type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return value;
    }
    value.data.resize(size);
    value.existed = ::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, name, RRF_RT_ANY, &value.type,
                                   value.data.data(), &size) == ERROR_SUCCESS;
    value.data.resize(size);
    return value;
}

void WriteList(const wchar_t* name, const PendingSnapshot::Value& value)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    if (value.existed) {
        ::RegSetValueExW(key.get(), name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    } else {
        ::RegDeleteValueW(key.get(), name);
    }
}

}  // namespace

PendingSnapshot SavePendingDeletions()
{
    PendingSnapshot saved;
    for (int i = 0; i < 2; ++i) saved.values[i] = ReadList(kPendingValues[i]);
    return saved;
}

void RestorePendingDeletions(const PendingSnapshot& saved)
{
    for (int i = 0; i < 2; ++i) WriteList(kPendingValues[i], saved.values[i]);
}

void ClearPendingDeletions() { RestorePendingDeletions(PendingSnapshot{}); }

std::vector<std::wstring> PendingStrings(const wchar_t* name)
{
    const PendingSnapshot::Value value = ReadList(name);
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
    if (strings.size() % 2 == 1 && strings.back().empty()) strings.pop_back();
    return strings;
}

void SetPendingStrings(const wchar_t* name, const std::vector<std::wstring>& strings)
{
    std::wstring data;
    for (const std::wstring& s : strings) data.append(s).push_back(L'\0');
    data.push_back(L'\0');
    PendingSnapshot::Value value;
    value.existed = true;
    value.type = REG_MULTI_SZ;
    value.data.assign(reinterpret_cast<const BYTE*>(data.data()),
                      reinterpret_cast<const BYTE*>(data.data() + data.size()));
    WriteList(name, value);
}

std::vector<std::wstring> PendingDeletions()
{
    std::vector<std::wstring> paths;
    const std::vector<std::wstring> strings = PendingStrings(kPendingValues[0]);
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (strings[i].empty()) break;
        if (!strings[i + 1].empty()) continue;
        std::wstring path = strings[i];
        if (path.rfind(L"\\??\\", 0) == 0) path.erase(0, 4);
        paths.push_back(path);
    }
    return paths;
}
