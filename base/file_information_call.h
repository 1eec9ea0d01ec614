// The queries of an open entry and of a folder's listing, alone in their own
// file so that a test build can give the answers Windows gives and Wine does
// not (a reparse tag other than a link's, the listing with 128-bit ids) and
// the refusals of older systems (no FILE_ID_INFO).
#pragma once

#include <windows.h>

namespace quro {

BOOL FileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size);

}  // namespace quro
