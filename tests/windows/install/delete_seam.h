// Windows' answers to the deletion calls, which Wine does not give: the POSIX
// disposition accepted, an entry already being deleted, a folder not empty
// for a moment or for good. The default passes every call through.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DeleteAnswers {
    bool posixAccepted = false;  // FileDispositionInfoEx taken, as Windows 10 1809 and later on NTFS take it
    std::wstring pendingName;    // the entry of this name opens as being deleted; its holder lets go at once
    std::wstring notEmptyName;   // the folder of this name answers "not empty" ...
    int notEmptyTimes = 0;       // ... this many times (-1: always), then as it is
};

void SetDeleteAnswers(const DeleteAnswers& answers);
// The information classes asked for, in order.
const std::vector<FILE_INFO_BY_HANDLE_CLASS>& DeleteCalls();
