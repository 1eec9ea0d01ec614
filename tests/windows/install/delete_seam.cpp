#include "delete_seam.h"

#include "base/file_information_call.h"
#include "base/nt_create_file_call.h"
#include "base/set_file_information_call.h"

#include <cstring>
#include <set>

using namespace quro;

namespace {

DeleteAnswers g_answers;
std::vector<FILE_INFO_BY_HANDLE_CLASS> g_calls;
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr ULONG kDontReparse = 0x1000;
std::set<HANDLE> g_reparseHandles;  // open handles of the entry named reparseName
bool g_everyOpenRefusedReparse = true;

// Wine's listing with the reparse attribute on the entry named reparseName.
BOOL Listing(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)
{
    if (!::GetFileInformationByHandleEx(handle, kind, information, size)) return FALSE;
    for (auto* at = static_cast<unsigned char*>(information);;) {
        auto* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(at);
        if (std::wstring(record->FileName, record->FileNameLength / 2) == g_answers.reparseName)
            record->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (record->NextEntryOffset == 0) return TRUE;
        at += record->NextEntryOffset;
    }
}

// Windows' listing with 128-bit ids, made from Wine's with 64-bit ones.
BOOL WideListing(HANDLE handle, bool restart, void* information, DWORD size)
{
    std::vector<LARGE_INTEGER> narrow(size / sizeof(LARGE_INTEGER));
    if (!Listing(handle, restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo, narrow.data(), size))
        return FALSE;
    auto* from = reinterpret_cast<const unsigned char*>(narrow.data());
    auto* to = static_cast<unsigned char*>(information);
    for (FILE_ID_EXTD_DIR_INFO* last = nullptr;;) {
        const auto* in = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(from);
        auto* out = reinterpret_cast<FILE_ID_EXTD_DIR_INFO*>(to);
        *out = {};
        out->FileAttributes = in->FileAttributes;
        out->FileNameLength = in->FileNameLength;
        std::memcpy(out->FileId.Identifier, &in->FileId, sizeof in->FileId);
        std::memcpy(out->FileName, in->FileName, in->FileNameLength);
        if (std::wstring(in->FileName, in->FileNameLength / 2) == g_answers.otherIdName) out->FileId.Identifier[8] = 1;
        if (last) last->NextEntryOffset = static_cast<DWORD>(to - reinterpret_cast<unsigned char*>(last));
        last = out;
        to += (offsetof(FILE_ID_EXTD_DIR_INFO, FileName) + in->FileNameLength + 7) & ~std::size_t(7);
        if (in->NextEntryOffset == 0) return TRUE;
        from += in->NextEntryOffset;
    }
}

}  // namespace

void SetDeleteAnswers(const DeleteAnswers& answers)
{
    g_answers = answers;
    g_calls.clear();
    g_reparseHandles.clear();
    g_everyOpenRefusedReparse = true;
}

const std::vector<FILE_INFO_BY_HANDLE_CLASS>& DeleteCalls() { return g_calls; }

bool EveryOpenRefusedReparse() { return g_everyOpenRefusedReparse; }

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

BOOL FileInformationCall(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)
{
    if (kind == FileIdInfo && g_answers.idInfoRefused) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool wide = kind == FileIdExtdDirectoryInfo || kind == FileIdExtdDirectoryRestartInfo;
    if (wide && !g_answers.wideIdsListed) {
        ::SetLastError(ERROR_INVALID_PARAMETER);  // Wine's answer, whatever Wine gives
        return FALSE;
    }
    if (wide) return WideListing(handle, kind == FileIdExtdDirectoryRestartInfo, information, size);
    if (kind == FileIdBothDirectoryInfo || kind == FileIdBothDirectoryRestartInfo)
        return Listing(handle, kind, information, size);
    const BOOL done = ::GetFileInformationByHandleEx(handle, kind, information, size);
    if (done && kind == FileAttributeTagInfo && g_reparseHandles.count(handle)) {
        auto* tag = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(information);
        tag->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        tag->ReparseTag = g_answers.reparseTag;
    }
    return done;
}

NTSTATUS NtCreateFileCall(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* object, IO_STATUS_BLOCK* status,
                          ULONG attributes, ULONG share, ULONG disposition, ULONG options)
{
    const UNICODE_STRING* name = object->ObjectName;
    const std::wstring opening = name ? std::wstring(name->Buffer, name->Length / sizeof(wchar_t)) : L"";
    const bool pending = !g_answers.pendingName.empty() && opening == g_answers.pendingName;
    if (object->Attributes & kDontReparse) {
        if (g_answers.dontReparseRefused) return kStatusInvalidParameter;
    } else if (!g_answers.dontReparseRefused) {
        g_everyOpenRefusedReparse = false;
    }
    const NTSTATUS opened =
        ::NtCreateFile(handle, access, object, status, nullptr, attributes, share, disposition, options, nullptr, 0);
    if (opened >= 0 && opening == g_answers.reparseName) g_reparseHandles.insert(*handle);
    if (opened >= 0 && opening != g_answers.reparseName) g_reparseHandles.erase(*handle);
    if (!pending || opened < 0) return opened;
    // Someone else marked it; it goes once they let go, which is now.
    FILE_DISPOSITION_INFO classic{TRUE};
    ::SetFileInformationByHandle(*handle, FileDispositionInfo, &classic, sizeof classic);
    ::CloseHandle(*handle);
    return kStatusDeletePending;
}

}  // namespace quro
