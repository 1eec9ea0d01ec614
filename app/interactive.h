// Everything after the package commands: the questions a user answers and
// the hand-over to an elevated copy.
#pragma once

#include "app/command.h"

namespace quro {

// COM, the language, the elevation test, and either the work itself or the
// elevated relaunch. Returns the exit code.
int RunInteractiveCommand(Command command, int argc, wchar_t** argv);

// The confirmation question in the current language; true for Yes.
bool ConfirmInstall();

}  // namespace quro
