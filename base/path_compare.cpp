#include "base/path_compare.h"

#include <windows.h>

namespace quro {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool SameNames(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                          static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsAtOrBelow(std::wstring_view path, std::wstring_view folder)
{
    if (folder.empty() || path.size() < folder.size()) return false;
    if (path.size() > folder.size() && !IsSeparator(path[folder.size()])) return false;
    return SameNames(path.substr(0, folder.size()), folder);
}

bool NamesPathInside(std::wstring_view text, std::wstring_view folder)
{
    if (folder.empty()) return false;
    for (std::size_t at = 0; at + folder.size() < text.size(); ++at) {
        if (IsSeparator(text[at + folder.size()]) && SameNames(text.substr(at, folder.size()), folder)) return true;
    }
    return false;
}

}  // namespace quro
