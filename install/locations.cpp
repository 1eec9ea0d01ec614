#include "install/locations.h"

#include "base/hosted_app.h"
#include "base/system_paths.h"

#include <shlobj.h>

#include <cstdlib>

namespace quro {

std::wstring StagingFolder(const std::wstring& installFolder) { return installFolder + L".new"; }

std::wstring OldFolder(const std::wstring& installFolder, std::uint64_t tickCount)
{
    return WithTickCount(installFolder + L".old-", tickCount);
}

std::wstring WithTickCount(const std::wstring& name, std::uint64_t tickCount)
{
    // The C runtime's own conversion: std::to_wstring goes through a printf
    // that would add some 20 KB to the program for the same digits.
    wchar_t digits[21];  // the largest 64-bit value has 20
    _ui64tow_s(tickCount, digits, 21, 10);
    return name + digits;
}

std::wstring MainExecutablePath(const std::wstring& installFolder)
{
    return installFolder + L"\\" + kMainExecutableName;
}

std::wstring SetupCopyPath(const std::wstring& installFolder) { return installFolder + L"\\Quro-Setup.exe"; }

std::wstring StartMenuShortcutPath() { return KnownFolderPath(FOLDERID_CommonPrograms) + L"\\Quro Host.lnk"; }

std::wstring DesktopShortcutPath() { return KnownFolderPath(FOLDERID_PublicDesktop) + L"\\Quro Host.lnk"; }

}  // namespace quro
