// The six things the program can do, and how the first argument picks one;
// the words after it that say how an unattended run goes.
#pragma once

#include "ui/run_mode.h"

namespace quro {

enum class Command { Verify, ExtractTo, Uninstall, UninstallTemp, Install, Interactive };

// Exact, case-sensitive comparison of the first argument (index 1); fewer
// than two entries count as no argument. "/extract-to" needs a second
// argument; "/quiet" and "/passive" alone install.
Command SelectCommand(int argc, wchar_t** argv);

// The mode words "/quiet" and "/passive", "/closeapp", "/removedata" and
// "/log FILE", anywhere after the first argument and, when the first
// argument is a mode word itself, that one too. Every other word is left to
// the command, as before. The log's path comes back as a full path, taken
// against the working folder the program was started in.
RunOptions ParseRunOptions(int argc, wchar_t** argv);

}  // namespace quro
