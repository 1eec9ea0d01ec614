#include "app/shell_execute_call.h"

namespace quro {

BOOL ShellExecuteCall(SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(info); }

}  // namespace quro
