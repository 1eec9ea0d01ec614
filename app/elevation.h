// The elevation test and the elevated relaunch.
#pragma once

#include <string>

namespace quro {

bool IsElevated();
// ShellExecuteExW "runas" on our own executable with parameters; never waits.
bool RelaunchElevated(const std::wstring& parameters);
// The same, then waits for the elevated copy and returns its exit code; 1
// when it could not be started, as RelaunchElevated's caller returns then.
int RelaunchElevatedAndWait(const std::wstring& parameters);

}  // namespace quro
