// The deletions Windows keeps for the next restart (the Session Manager's
// PendingFileRenameOperations, and PendingFileRenameOperations2 beside it),
// as the Windows-side tests read, write and put back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline constexpr const wchar_t* kPendingValues[] = {L"PendingFileRenameOperations", L"PendingFileRenameOperations2"};

// The paths registered for deletion in the first value, in order, without
// the "\??\" prefix Windows stores them with; renames are left out.
std::vector<std::wstring> PendingDeletions();
void ClearPendingDeletions();

// A list value as its strings, sources and targets in turn, an empty target
// for a deletion; without the list's closing empty string. Absent: none.
std::vector<std::wstring> PendingStrings(const wchar_t* value);
void SetPendingStrings(const wchar_t* value, const std::vector<std::wstring>& strings);

// Both values as they stood, to put back after a test.
struct PendingSnapshot {
    struct Value {
        bool existed = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    } values[2];
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
