#include "delete_seam.h"

#include "base/nt_create_file_call.h"
#include "base/set_file_information_call.h"

using namespace quro;

namespace {

DeleteAnswers g_answers;
std::vector<FILE_INFO_BY_HANDLE_CLASS> g_calls;
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

}  // namespace

void SetDeleteAnswers(const DeleteAnswers& answers)
{
    g_answers = answers;
    g_calls.clear();
}

const std::vector<FILE_INFO_BY_HANDLE_CLASS>& DeleteCalls() { return g_calls; }

namespace quro {

BOOL SetFileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)
{
    g_calls.push_back(kind);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool folder =
        ::GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool disposition = kind == kDispositionInfoEx || kind == FileDispositionInfo;
    if (disposition && folder && g_answers.notEmptyTimes != 0) {
        if (g_answers.notEmptyTimes > 0) --g_answers.notEmptyTimes;
        ::SetLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    if (kind == kDispositionInfoEx && g_answers.posixAccepted) {
        // Wine has no POSIX deletion; the classic mark, on a handle nobody
        // else holds, ends the same way.
        FILE_DISPOSITION_INFO classic{TRUE};
        return ::SetFileInformationByHandle(handle, FileDispositionInfo, &classic, sizeof classic);
    }
    return ::SetFileInformationByHandle(handle, kind, information, size);
}

NTSTATUS NtCreateFileCall(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* object, IO_STATUS_BLOCK* status,
                          ULONG attributes, ULONG share, ULONG disposition, ULONG options)
{
    const UNICODE_STRING* name = object->ObjectName;
    const bool pending = !g_answers.pendingName.empty() && name &&
                         std::wstring(name->Buffer, name->Length / sizeof(wchar_t)) == g_answers.pendingName;
    const NTSTATUS opened =
        ::NtCreateFile(handle, access, object, status, nullptr, attributes, share, disposition, options, nullptr, 0);
    if (!pending || opened < 0) return opened;
    // Someone else marked it; it goes once they let go, which is now.
    FILE_DISPOSITION_INFO classic{TRUE};
    ::SetFileInformationByHandle(*handle, FileDispositionInfo, &classic, sizeof classic);
    ::CloseHandle(*handle);
    return kStatusDeletePending;
}

}  // namespace quro
