// Every exit code of the setup program. Scripts, the uninstall entry's
// caller and the tests tell outcomes apart by these numbers alone.
#pragma once

namespace quro {

namespace exit_code {

// The command did what was asked.
inline constexpr int kDone = 0;
// Nothing was done: the user cancelled or declined, the package failed its
// checks, or the elevated copy could not be started.
inline constexpr int kRefused = 1;
// Installation or removal: the hosted application stayed open.
inline constexpr int kStillRunning = 2;
// /extract-to: the package is sound but its files could not all be written.
inline constexpr int kNotExtracted = 2;
// Installation: the package could not be unpacked into the staging folder.
inline constexpr int kPackageFailed = 3;
// Installation: the new files could not be put in place.
inline constexpr int kNotPutInPlace = 4;
// Removal: the temporary copy that removes the install folder was not started.
inline constexpr int kNoTemporaryCopy = 5;
// Unattended runs only, with the meanings Windows Installer gives them and
// deployment engines know: another setup held the lock past the bounded
// wait, and nothing was done (ERROR_INSTALL_ALREADY_RUNNING); the work is
// done and the next restart finishes it (ERROR_SUCCESS_REBOOT_REQUIRED).
// A person is told the second in words, and the run ends with kDone.
inline constexpr int kAnotherSetupRunning = 1618;
inline constexpr int kRestartNeeded = 3010;

}  // namespace exit_code

}  // namespace quro
