// The deletions Windows keeps for the next restart (the Session Manager's
// PendingFileRenameOperations), as the Windows-side tests read and put back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The paths registered for deletion, in order, without the "\??\" prefix
// Windows stores them with; renames are left out.
std::vector<std::wstring> PendingDeletions();
void ClearPendingDeletions();

// The list as it stood, to put back after a test.
struct PendingSnapshot {
    bool existed = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
PendingSnapshot SavePendingDeletions();
void RestorePendingDeletions(const PendingSnapshot& saved);

// Saves on construction and puts back on destruction.
class PendingDeletionsGuard {
public:
    PendingDeletionsGuard() : saved_(SavePendingDeletions()) {}
    ~PendingDeletionsGuard() { RestorePendingDeletions(saved_); }
    PendingDeletionsGuard(const PendingDeletionsGuard&) = delete;
    PendingDeletionsGuard& operator=(const PendingDeletionsGuard&) = delete;

private:
    PendingSnapshot saved_;
};
