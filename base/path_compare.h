// Telling whether a path lies in one of our folders, as Windows compares
// names: ordinal and without regard to case, so that the user's locale cannot
// change the answer, and only at a separator, so that a sibling such as
// "Quro-Beta" or "Quro.new" is never taken for "Quro".
#pragma once

#include <string>
#include <string_view>

namespace quro {

// Whether path is folder itself or lies anywhere below it.
bool IsAtOrBelow(std::wstring_view path, std::wstring_view folder);

// Whether text (a command line, say) holds folder followed by a separator
// anywhere: it names something inside folder.
bool NamesPathInside(std::wstring_view text, std::wstring_view folder);

// One of our folders as Windows may spell it in a path it reports or a user
// wrote: as we know it, and in its long and its short (8.3) form. A form the
// file system does not give (no short names on the volume, the folder not
// there) is empty.
struct FolderForms {
    std::wstring known, longForm, shortForm;
};

// Resolves folder, one of ours under Program Files, into its forms once. A
// path that someone else reports (a process's image, a value a user wrote)
// is never resolved: for a UNC or WebDAV path Windows would connect to that
// server and sign in there with our, an administrator's, credentials. It is
// compared with these forms instead.
FolderForms FormsOf(const std::wstring& folder);

// Whether path lies below one of the folder's forms (the folder itself does
// not count).
bool IsBelowAny(std::wstring_view path, const FolderForms& folder);

// NamesPathInside for any of the folder's forms.
bool NamesPathInsideAny(std::wstring_view text, const FolderForms& folder);

}  // namespace quro
