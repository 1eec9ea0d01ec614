#include "install/locations.h"

#include "base/hosted_app.h"
#include "base/log.h"
#include "base/system_paths.h"

#include <shlobj.h>

namespace quro {

std::wstring StagingFolder(const std::wstring& installFolder) { return installFolder + L".new"; }

std::wstring OldFolder(const std::wstring& installFolder, std::uint64_t tickCount)
{
    return WithTickCount(installFolder + L".old-", tickCount);
}

std::wstring WithTickCount(const std::wstring& name, std::uint64_t tickCount) { return name + Decimal(tickCount); }

std::wstring MainExecutablePath(const std::wstring& installFolder)
{
    return installFolder + L"\\" + kMainExecutableName;
}

std::wstring SetupCopyPath(const std::wstring& installFolder) { return installFolder + L"\\Quro-Setup.exe"; }

std::wstring StartMenuShortcutPath() { return KnownFolderPath(FOLDERID_CommonPrograms) + L"\\Quro Host.lnk"; }

std::wstring DesktopShortcutPath() { return KnownFolderPath(FOLDERID_PublicDesktop) + L"\\Quro Host.lnk"; }

}  // namespace quro
