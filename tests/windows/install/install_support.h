// What the install tests share: whole trees as maps of their files, setup
// programs made from the stub with a package of our choosing, and putting
// the machine back as it was before an install.
#pragma once

#include "package_builder.h"
#include "test_files.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Relative path (backslashes) -> bytes, for every file below folder; folders
// appear as their path with a trailing backslash and no bytes.
using Tree = std::map<std::wstring, Bytes>;
Tree ReadTree(const std::wstring& folder);
// The package's files as ReadTree would show them once extracted.
Tree TreeOf(const std::vector<TestFile>& files);
// tree without the setup copy the install leaves beside the packaged files.
Tree WithoutSetupCopy(Tree tree);

// A copy of a setup stub (beside the test program) at path, carrying files
// as its package, or resource exactly as given.
void MakeSetup(const std::wstring& path, const std::vector<TestFile>& files,
               const wchar_t* stub = L"quro-setup-stub.exe");
void MakeSetupWithResource(const std::wstring& path, const Bytes& resource,
                           const wchar_t* stub = L"quro-setup-stub.exe");

// Paths of one installation, read the way the setup program reads them.
std::wstring ProgramFilesFolder();
std::wstring TestInstallFolder();
std::wstring TestStartMenuLink();
std::wstring TestDesktopLink();
// Every sibling named like an old folder ("Quro.old-" + digits).
std::vector<std::wstring> OldFolders();

// Deletes what an install makes: the folder and its siblings, the uninstall
// entry, both links and the autostart value.
void RemoveInstallation();

// A value read from the registry: type and raw bytes; type REG_NONE with no
// bytes when absent.
struct RegistryValue {
    DWORD type = REG_NONE;
    Bytes data;
    bool exists = false;
};
RegistryValue ReadValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view = 0);
Bytes StringData(const std::wstring& text);  // with its terminating NUL
Bytes DwordData(DWORD value);

// Written out here rather than taken from the program, so that a wrong key
// in the program fails the tests.
inline constexpr const wchar_t kTestUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuroHost";
inline constexpr const wchar_t kTestRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
void SetRunValue(DWORD type, const Bytes& data);
void DeleteRunValue();

// A link's target, working folder, description, arguments and icon.
struct LinkInfo {
    bool loaded = false;
    std::wstring path, workingFolder, description, arguments, icon;
    int iconIndex = -1;
};
LinkInfo ReadLink(const std::wstring& linkPath);

// Starts exe with arguments (after its quoted path); the process handle, or null.
HANDLE Start(const std::wstring& exe, const std::wstring& arguments);
// The exit code, or 0xFFFFFFFF after the timeout (the process is then
// ended). Takes the handle over and closes it.
DWORD WaitExit(HANDLE process, DWORD timeoutMs);
