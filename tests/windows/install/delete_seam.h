// Windows' answers to the deletion calls, which Wine does not give; the
// default passes every call through.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DeleteAnswers {
    bool posixAccepted = false;  // FileDispositionInfoEx taken, as Windows 10 1809 and later on NTFS take it
    std::wstring pendingName;    // an entry of this name opens as being deleted; its holder lets go at once
    int notEmptyTimes = 0;       // folders answer "not empty" this many times (-1: always), then as they are
};

void SetDeleteAnswers(const DeleteAnswers& answers);
// The information classes asked for, in order.
const std::vector<FILE_INFO_BY_HANDLE_CLASS>& DeleteCalls();
