#include "delete_seam.h"

#include "base/nt_create_file_call.h"
#include "base/set_file_information_call.h"

namespace {

DeleteAnswers g_answers;
std::vector<FILE_INFO_BY_HANDLE_CLASS> g_calls;
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

bool NamedAs(HANDLE handle, const std::wstring& name)
{
    wchar_t path[1024] = {};
    const DWORD n = ::GetFinalPathNameByHandleW(handle, path, 1024, FILE_NAME_NORMALIZED);
    const std::wstring tail = L"\\" + name;
    return !name.empty() && n > tail.size() && n < 1024 && std::wstring(path + n - tail.size()) == tail;
}

}  // namespace

void SetDeleteAnswers(const DeleteAnswers& answers)
{
    g_answers = answers;
    g_calls.clear();
}

const std::vector<FILE_INFO_BY_HANDLE_CLASS>& DeleteCalls() { return g_calls; }

BOOL SetFileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)
{
    g_calls.push_back(kind);
    const bool disposition = kind == kDispositionInfoEx || kind == FileDispositionInfo;
    if (disposition && g_answers.notEmptyTimes != 0 && NamedAs(handle, g_answers.notEmptyName)) {
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
    if (pending) {
        // Someone else marked it; it goes once they let go, which is now.
        HANDLE other = nullptr;
        if (::NtCreateFile(&other, DELETE | SYNCHRONIZE, object, status, nullptr, 0, FILE_SHARE_DELETE, FILE_OPEN,
                           FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0) >= 0) {
            FILE_DISPOSITION_INFO classic{TRUE};
            ::SetFileInformationByHandle(other, FileDispositionInfo, &classic, sizeof classic);
            ::CloseHandle(other);
        }
        return kStatusDeletePending;
    }
    return ::NtCreateFile(handle, access, object, status, nullptr, attributes, share, disposition, options, nullptr, 0);
}
