// The ShellExecuteExW call of the elevated relaunch, alone in its own file so
// that a test build can answer it as a user who refuses the administrator
// prompt would, and see what the shell was asked to start.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace quro {

BOOL ShellExecuteCall(SHELLEXECUTEINFOW* info);

}  // namespace quro
