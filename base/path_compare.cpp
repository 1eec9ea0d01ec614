#include "base/path_compare.h"

#include "base/path_form_call.h"

#include <windows.h>

namespace quro {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool SameNames(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                          static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The form that call gives of path, or empty when it gives none.
std::wstring Resolved(DWORD (*call)(const wchar_t*, wchar_t*, DWORD), const std::wstring& path)
{
    std::wstring form(MAX_PATH, L'\0');
    DWORD length = call(path.c_str(), form.data(), static_cast<DWORD>(form.size()));
    if (length >= form.size()) {
        form.resize(length);
        length = call(path.c_str(), form.data(), static_cast<DWORD>(form.size()));
    }
    if (length == 0 || length >= form.size()) return std::wstring();
    form.resize(length);
    return form;
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

FolderForms FormsOf(const std::wstring& folder)
{
    FolderForms forms;
    forms.known = folder;
    if (folder.empty()) return forms;
    forms.longForm = Resolved(LongPathNameCall, folder);
    forms.shortForm = Resolved(ShortPathNameCall, folder);
    // A folder that is not there (yet, or any more) has no forms of its own;
    // its parent's forms with its name still match what a user wrote.
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (forms.longForm.empty() && slash != std::wstring::npos && slash > 0) {
        const std::wstring parent = folder.substr(0, slash);
        const std::wstring name = folder.substr(slash);
        forms.longForm = Resolved(LongPathNameCall, parent);
        forms.shortForm = Resolved(ShortPathNameCall, parent);
        if (!forms.longForm.empty()) forms.longForm += name;
        if (!forms.shortForm.empty()) forms.shortForm += name;
    }
    return forms;
}

bool IsBelowAny(std::wstring_view path, const FolderForms& folder)
{
    for (const std::wstring* form : {&folder.known, &folder.longForm, &folder.shortForm}) {
        if (path.size() > form->size() && IsAtOrBelow(path, *form)) return true;
    }
    return false;
}

bool NamesPathInsideAny(std::wstring_view text, const FolderForms& folder)
{
    return NamesPathInside(text, folder.known) || NamesPathInside(text, folder.longForm) ||
           NamesPathInside(text, folder.shortForm);
}

}  // namespace quro
