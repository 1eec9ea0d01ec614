#include "tests/windows/support/install_support.h"

#include "base/unique_handles.h"
#include "tools/driver/driver.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

using namespace quro;

namespace {

void ReadInto(const std::wstring& folder, const std::wstring& prefix, Tree& tree)
{
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[prefix + name + L"\\"];
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                ReadInto(folder + L"\\" + name, prefix + name + L"\\", tree);
            }
        } else {
            Bytes data;
            if (!ReadBytes(folder + L"\\" + name, data)) data = BytesOf("<unreadable>");
            tree[prefix + name] = data;
        }
    } while (::FindNextFileW(find.get(), &found));
}

}  // namespace

Tree ReadTree(const std::wstring& folder)
{
    Tree tree;
    ReadInto(folder, L"", tree);
    return tree;
}

Tree TreeOf(const std::vector<TestFile>& files)
{
    Tree tree;
    for (const TestFile& file : files) {
        std::wstring name = Widen(file.name);
        for (wchar_t& c : name) {
            if (c == L'/') c = L'\\';
        }
        for (std::size_t at = name.find(L'\\'); at != std::wstring::npos; at = name.find(L'\\', at + 1)) {
            tree[name.substr(0, at + 1)];
        }
        tree[name] = file.data;
    }
    return tree;
}

Tree WithoutSetupCopy(Tree tree)
{
    tree.erase(L"Quro-Setup.exe");
    return tree;
}

void MakeSetup(const std::wstring& path, const std::vector<TestFile>& files, const wchar_t* stub)
{
    MakeSetupWithResource(path, Container(FileList(files)), stub);
}

void MakeSetupWithResource(const std::wstring& path, const Bytes& resource, const wchar_t* stub)
{
    ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"\\" + stub).c_str(), path.c_str(), FALSE))
        << "no stub beside the test program";
    HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(::UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(101), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<std::uint8_t*>(resource.data()), static_cast<DWORD>(resource.size())));
    ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
}

void RemoveInstallation()
{
    DeleteTree(state::InstallFolder());
    DeleteTree(state::InstallFolder() + L".new");
    for (const std::wstring& old : state::OldFolders()) DeleteTree(old);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY, 0);
    ::DeleteFileW(state::StartMenuShortcut().c_str());
    ::DeleteFileW(state::DesktopShortcut().c_str());
    state::DeleteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
}

LinkInfo ReadLink(const std::wstring& linkPath)
{
    LinkInfo info;
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        return info;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return info;
    if (FAILED(file->Load(linkPath.c_str(), STGM_READ))) return info;
    wchar_t text[1024] = {};
    link->GetPath(text, 1024, nullptr, SLGP_RAWPATH);
    info.path = text;
    text[0] = 0;
    link->GetWorkingDirectory(text, 1024);
    info.workingFolder = text;
    text[0] = 0;
    link->GetDescription(text, 1024);
    info.description = text;
    text[0] = 0;
    link->GetArguments(text, 1024);
    info.arguments = text;
    text[0] = 0;
    link->GetIconLocation(text, 1024, &info.iconIndex);
    info.icon = text;
    info.loaded = true;
    return info;
}

bool WaitForPause(const std::wstring& paused, HANDLE process)
{
    for (int waited = 0; waited < 60000; waited += 20) {
        if (Exists(paused)) return true;
        if (::WaitForSingleObject(process, 20) == WAIT_OBJECT_0) return false;
    }
    return false;
}
