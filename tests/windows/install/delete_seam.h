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
    std::wstring reparseName;    // a folder of this name lists and opens as a reparse point with reparseTag
    DWORD reparseTag = 0;
    bool wideIdsListed = false;       // folders list with 128-bit ids, as Windows 8 and later do (Wine refuses)
    std::wstring otherIdName;         // with wideIdsListed: listed with an id that differs in its upper half only
    bool idInfoRefused = false;       // FILE_ID_INFO refused, as before Windows 8
    bool dontReparseRefused = false;  // OBJ_DONT_REPARSE refused with STATUS_INVALID_PARAMETER, as older Windows do
};

void SetDeleteAnswers(const DeleteAnswers& answers);
// The information classes asked for, in order.
const std::vector<FILE_INFO_BY_HANDLE_CLASS>& DeleteCalls();
// Whether every relative open was asked with OBJ_DONT_REPARSE first.
bool EveryOpenRefusedReparse();
