#include "install/registration.h"

#include "base/hosted_app.h"
#include "base/product.h"
#include "base/system_paths.h"
#include "base/unique_handles.h"
#include "package/container.h"
#include "install/locations.h"
#include "install/reg_set_value_call.h"

#include <shellapi.h>

#include <algorithm>

namespace quro {

namespace {

// The entry belongs in the 64-bit view, which is where the list of installed
// programs looks for a 64-bit product.
constexpr REGSAM kUninstallAccess = KEY_WRITE | KEY_WOW64_64KEY;

void SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    // The terminating NUL is part of the data, as readers of REG_SZ expect.
    RegSetValueCall(key, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    RegSetValueCall(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// What Windows makes of a REG_EXPAND_SZ value before it starts it: the
// variables of this process's environment put in, unknown ones left as written.
std::wstring Expanded(const std::wstring& text)
{
    const DWORD units = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (units == 0) return text;
    std::wstring expanded(units, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), units);
    if (written == 0 || written > units) return text;
    expanded.resize(written - 1);
    return expanded;
}

// The program a Run value starts, as CommandLineToArgvW takes the first
// argument (quoted: up to the next quote; else up to the first space), made
// whole by GetFullPathNameW, which settles doubled separators, "." and ".."
// by computation alone and never asks the file system, so a UNC path in the
// value reaches no server.
std::wstring ProgramOf(const std::wstring& commandLine)
{
    // CommandLineToArgvW answers an empty line with our own path.
    if (commandLine.empty()) return std::wstring();
    int count = 0;
    wchar_t** const arguments = ::CommandLineToArgvW(commandLine.c_str(), &count);
    const UniqueLocalMemory owner(arguments);
    if (!arguments || count < 1) return std::wstring();
    return FullPathOf(arguments[0]);
}

}  // namespace

void WriteUninstallEntry(const std::wstring& installFolder, const std::wstring& mainExecutable)
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kUninstallAccess,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    // Each write stands alone: one that fails does not keep the others out.
    SetString(key.get(), L"DisplayName", kProductName);
    SetString(key.get(), L"DisplayVersion", kProductVersion);
    SetString(key.get(), L"Publisher", kPublisher);
    SetString(key.get(), L"InstallLocation", installFolder);
    SetString(key.get(), L"DisplayIcon", mainExecutable);
    const std::wstring uninstall = L"\"" + SetupCopyPath(installFolder) + L"\" /uninstall";
    SetString(key.get(), L"UninstallString", uninstall);
    // What deployment engines and winget run to remove without a window;
    // it returns when the removal is done, with its exit code.
    SetString(key.get(), L"QuietUninstallString", uninstall + L" /quiet");
    SetNumber(key.get(), L"NoModify", 1);
    SetNumber(key.get(), L"NoRepair", 1);
    SetNumber(key.get(), L"EstimatedSize", static_cast<DWORD>(UnpackedPackageSize() >> 10));
}

void RetargetAutostartValue(const std::wstring& mainExecutable)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, kRunAccess, key.put()) != ERROR_SUCCESS) return;
    // Only a value the hosted application made itself is pointed here; the
    // setup program never turns autostart on.
    if (::RegQueryValueExW(key.get(), kAutostartValueName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return;
    SetString(key.get(), kAutostartValueName, L"\"" + mainExecutable + L"\"");
}

bool AutostartPointsInside(std::wstring_view data, DWORD type, const FolderForms& folder)
{
    // The user or the application may have written the value in any form
    // Windows starts; the folder is compared in each of its own forms, and
    // nothing in the value is resolved (it is the user's to write).
    std::wstring text(data);
    if (type == REG_EXPAND_SZ) text = Expanded(text);
    std::replace(text.begin(), text.end(), L'/', L'\\');
    return NamesPathInsideAny(text, folder) || IsBelowAny(ProgramOf(text), folder);
}

}  // namespace quro
