#include "ui/message_box_call.h"

namespace quro {

int MessageBoxCall(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style)
{
    return ::MessageBoxW(owner, text, caption, style);
}

}  // namespace quro
