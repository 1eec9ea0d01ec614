#include "install_support.h"

#include "base/unique_handles.h"
#include "install/locations.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

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

void Delete(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found{};
        UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &found));
        if (find) {
            do {
                const std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") Delete(path + L"\\" + name);
            } while (::FindNextFileW(find.get(), &found));
        }
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::RemoveDirectoryW(path.c_str());
    } else {
        ::DeleteFileW(path.c_str());
    }
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

std::wstring ProgramFilesFolder() { return KnownFolderPath(FOLDERID_ProgramFiles); }
std::wstring TestInstallFolder() { return ProgramFilesFolder() + L"\\Quro"; }
std::wstring TestStartMenuLink() { return KnownFolderPath(FOLDERID_CommonPrograms) + L"\\Quro Host.lnk"; }
std::wstring TestDesktopLink() { return KnownFolderPath(FOLDERID_PublicDesktop) + L"\\Quro Host.lnk"; }

std::vector<std::wstring> OldFolders()
{
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(::FindFirstFileW((TestInstallFolder() + L".old-*").c_str(), &found));
    if (!find) return folders;
    do {
        folders.push_back(ProgramFilesFolder() + L"\\" + found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
    return folders;
}

void RemoveInstallation()
{
    Delete(TestInstallFolder());
    Delete(TestInstallFolder() + L".new");
    for (const std::wstring& old : OldFolders()) Delete(old);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kTestUninstallKey, KEY_WOW64_64KEY, 0);
    ::DeleteFileW(TestStartMenuLink().c_str());
    ::DeleteFileW(TestDesktopLink().c_str());
    DeleteRunValue();
}

RegistryValue ReadValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view)
{
    RegistryValue value;
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
    value.data.resize(size);
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS) {
        return RegistryValue{};
    }
    value.data.resize(size);
    value.exists = true;
    return value;
}

Bytes StringData(const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return Bytes(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

Bytes DwordData(DWORD value)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    return Bytes(bytes, bytes + sizeof value);
}


void SetRunValue(DWORD type, const Bytes& data)
{
    UniqueRegKey key;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kTestRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), L"Dralo Host", 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

void DeleteRunValue()
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kTestRunKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key.get(), L"Dralo Host");
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

HANDLE Start(const std::wstring& exe, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        ADD_FAILURE() << "cannot start the program: error " << ::GetLastError();
        return nullptr;
    }
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD WaitExit(HANDLE handle, DWORD timeoutMs)
{
    const UniqueHandle owned(handle);
    const HANDLE process = owned.get();
    if (!process) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (::WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process, &code);
    } else {
        ::TerminateProcess(process, 0xFFFFFFFF);
        ::WaitForSingleObject(process, 10000);
    }
    return code;
}
