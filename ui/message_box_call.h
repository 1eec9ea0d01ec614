// The one MessageBoxW call of the program, alone in its own file so that a
// test build can read the style value it is given: Wine draws boxes without
// MB_RIGHT and MB_RTLREADING, so the window alone cannot show them.
#pragma once

#include <windows.h>

namespace quro {

int MessageBoxCall(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

}  // namespace quro
