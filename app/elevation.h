// Elevation test, the install confirmation and the elevated relaunch.
#pragma once

#include <string>

bool IsElevated();
// The confirmation question in the current language; true for Yes.
bool ConfirmInstall();
// GetModuleFileNameW of the executable with a 520-unit buffer; empty on failure.
std::wstring OwnExecutablePath();
// ShellExecuteExW "runas" on our own executable with parameters; never waits.
bool RelaunchElevated(const std::wstring& parameters);
