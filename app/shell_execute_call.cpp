#include "app/shell_execute_call.h"

BOOL ShellExecuteCall(SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(info); }
