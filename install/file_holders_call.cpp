#include "install/file_holders_call.h"

#include "base/system_dll.h"

#include <windows.h>
#include <restartmanager.h>

namespace quro {

namespace {

using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using RmGetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
using RmEndSessionFn = DWORD(WINAPI*)(DWORD);

}  // namespace

std::vector<std::wstring> FileHoldersCall(const std::vector<std::wstring>& files)
{
    // rstrtmgr.dll is no Known DLL: loaded from System32 when asked, never
    // through the import table.
    const auto start = SystemFunction<RmStartSessionFn>(L"rstrtmgr.dll", "RmStartSession");
    const auto add = SystemFunction<RmRegisterResourcesFn>(L"rstrtmgr.dll", "RmRegisterResources");
    const auto list = SystemFunction<RmGetListFn>(L"rstrtmgr.dll", "RmGetList");
    const auto end = SystemFunction<RmEndSessionFn>(L"rstrtmgr.dll", "RmEndSession");
    std::vector<std::wstring> names;
    if (!start || !add || !list || !end || files.empty()) return names;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start(&session, 0, key) != ERROR_SUCCESS) return names;
    std::vector<LPCWSTR> paths;
    for (const std::wstring& file : files) paths.push_back(file.c_str());
    if (add(session, static_cast<UINT>(paths.size()), paths.data(), 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        // The list may grow between the two calls: asked again while it does.
        std::vector<RM_PROCESS_INFO> holders(4);
        for (int tries = 0; tries < 4; ++tries) {
            UINT needed = 0, count = static_cast<UINT>(holders.size());
            DWORD reasons = 0;
            const DWORD listed = list(session, &needed, &count, holders.data(), &reasons);
            if (listed == ERROR_MORE_DATA) {
                holders.resize(needed + 4);
                continue;
            }
            if (listed == ERROR_SUCCESS) {
                for (UINT i = 0; i < count; ++i) names.emplace_back(holders[i].strAppName);
            }
            break;
        }
    }
    end(session);
    return names;
}

}  // namespace quro
