// Telling whether a path lies in one of our folders, as Windows compares
// names: ordinal and without regard to case, so that the user's locale cannot
// change the answer, and only at a separator, so that a sibling such as
// "Quro-Beta" or "Quro.new" is never taken for "Quro".
#pragma once

#include <string_view>

namespace quro {

// Whether path is folder itself or lies anywhere below it.
bool IsAtOrBelow(std::wstring_view path, std::wstring_view folder);

// Whether text (a command line, say) holds folder followed by a separator
// anywhere: it names something inside folder.
bool NamesPathInside(std::wstring_view text, std::wstring_view folder);

}  // namespace quro
