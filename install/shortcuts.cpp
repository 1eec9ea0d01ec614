#include "install/shortcuts.h"

#include "base/product.h"
#include "base/unique_handles.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace quro {

void CreateShortcut(const std::wstring& linkPath, const std::wstring& mainExecutable, const std::wstring& installFolder)
{
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        return;
    }
    // A property that does not take leaves the link incomplete but still
    // worth saving: the target alone makes it usable.
    link->SetPath(mainExecutable.c_str());
    link->SetWorkingDirectory(installFolder.c_str());
    link->SetDescription(kProductName);
    link->SetIconLocation(mainExecutable.c_str(), 0);
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void()))) {
        // TRUE: the saved file becomes the object's current file.
        file->Save(linkPath.c_str(), TRUE);
    }
}

}  // namespace quro
