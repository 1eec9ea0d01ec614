// The six things the program can do, and how the first argument picks one.
#pragma once

namespace quro {

enum class Command { Verify, ExtractTo, Uninstall, UninstallTemp, Install, Interactive };

// Exact, case-sensitive comparison of the first argument (index 1); fewer
// than two entries count as no argument. "/extract-to" needs a second argument.
Command SelectCommand(int argc, wchar_t** argv);

}  // namespace quro
