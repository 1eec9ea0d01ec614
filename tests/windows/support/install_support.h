// What the install tests share: whole trees as maps of their files, setup
// programs made from the stub with a package of our choosing, and putting
// the machine back as it was before an install.
#pragma once

#include "tests/windows/support/package_builder.h"
#include "tests/windows/support/system_state.h"
#include "tests/windows/support/test_files.h"

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

// Deletes what an install makes: the folder and its siblings, the uninstall
// entry, both links and the autostart value.
void RemoveInstallation();

// A link's target, working folder, description, arguments and icon.
struct LinkInfo {
    bool loaded = false;
    std::wstring path, workingFolder, description, arguments, icon;
    int iconIndex = -1;
};
LinkInfo ReadLink(const std::wstring& linkPath);

// Whether the paused build (tests/windows/install/pause_seams.cpp) reached
// its pause (it made the file paused) before it ended or a minute passed.
bool WaitForPause(const std::wstring& paused, HANDLE process);
