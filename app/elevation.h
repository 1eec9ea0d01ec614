// The elevation test and the elevated relaunch.
#pragma once

#include <string>

namespace quro {

bool IsElevated();
// ShellExecuteExW "runas" on our own executable with parameters; never waits.
bool RelaunchElevated(const std::wstring& parameters);

}  // namespace quro
