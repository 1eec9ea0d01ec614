// Who holds files open, as the Restart Manager tells it; alone in its own
// file so that a test build can name a holder where Wine names none.
#pragma once

#include <string>
#include <vector>

namespace quro {

// The names of the programs and services that hold any of files open, as
// Windows shows them to people; empty when it cannot tell.
std::vector<std::wstring> FileHoldersCall(const std::vector<std::wstring>& files);

}  // namespace quro
