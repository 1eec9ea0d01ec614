// Windows' list of what to delete or rename at the next restart, as the
// Session Manager keeps it, and taking our own folders back out of it.
#pragma once

#include <string>
#include <vector>

namespace quro {

// Takes out of the restart list every deletion of one of folders or of
// anything below it; renames and every other entry stay as they were, in
// order. Both values Windows reads (PendingFileRenameOperations and, on
// newer versions, PendingFileRenameOperations2) are edited where present.
// Best-effort: a value that cannot be read, parsed or written is left alone.
void ForgetRestartDeletions(const std::vector<std::wstring>& folders);

}  // namespace quro
