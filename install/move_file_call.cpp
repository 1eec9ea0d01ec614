#include "install/move_file_call.h"

namespace quro {

BOOL MoveFileCall(const wchar_t* from, const wchar_t* to, DWORD flags) { return ::MoveFileExW(from, to, flags); }

}  // namespace quro
