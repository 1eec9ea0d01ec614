#pragma once

#include <string>

namespace quro {

// Opens the installed application through the Windows folder's explorer.exe,
// with the quoted main executable as its only argument. Never waits.
void LaunchHostedApplication(const std::wstring& mainExecutable);

}  // namespace quro
