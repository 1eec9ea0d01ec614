// Installs and updates through the real setup program under "/install en",
// as the elevated copy runs it: what the user is asked, the exit code, and
// what stands on disk, in the registry and in the links afterwards.
#include "base/unique_handles.h"
#include "hosted/close_hosted.h"
#include "install/locations.h"
#include "tests/windows/support/drive_setup.h"
#include "tests/windows/support/install_support.h"
#include "tests/windows/support/restart_list.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

using namespace quro;

namespace {

std::wstring g_defaultSetup;

const wchar_t kShortQuestion[] = L"Quro Host 0J.76 is installed.\n\nOpen Quro Host now?";
const wchar_t kLongQuestion[] =
    L"Quro Host 0J.76 is installed. Your devices and password are kept.\nYou can delete the old unzipped Quro "
    L"folder.\n\nOpen Quro Host now?";

const std::vector<TestFile> kOlder = {
    {"DraloHost.exe", BytesOf("older main program")},
    {"data\\settings.ini", BytesOf("version=older")},
};

Tree PackagedTreeOf(const std::wstring& setup)
{
    ScratchFolder scratch;
    EXPECT_EQ(RunToExit(setup, L"/extract-to \"" + scratch.path() + L"\""), 0u);
    return ReadTree(scratch.path());
}

std::wstring StringValue(const wchar_t* name)
{
    return state::ReadString(HKEY_LOCAL_MACHINE, state::kUninstallKey, name, KEY_WOW64_64KEY).value_or(L"<absent>");
}

DWORD NumberValue(const wchar_t* name)
{
    const auto value = state::ReadValue(HKEY_LOCAL_MACHINE, state::kUninstallKey, name, KEY_WOW64_64KEY);
    DWORD number = 0xDEADBEEF;
    if (value && value->type == REG_DWORD && value->data.size() == sizeof number)
        std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

// The unpacked size that a setup's package header states (offset 8), read
// from its resource as Windows loads it, or ~0 when there is none.
std::uint64_t UnpackedSizeOf(const std::wstring& setup)
{
    std::uint64_t size = ~0ull;
    const HMODULE module =
        ::LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return size;
    if (const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10))) {
        const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, found)));
        if (bytes && ::SizeofResource(module, found) >= 16) std::memcpy(&size, bytes + 8, sizeof size);
    }
    ::FreeLibrary(module);
    return size;
}

bool HostedProcessAppears(DWORD timeoutMs)
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    do {
        if (!FindHostedProcesses().empty()) return true;
        ::Sleep(100);
    } while (::GetTickCount64() < end);
    return false;
}

void EndHostedProcesses()
{
    driver::EndProcessesByImageName(L"DraloHost.exe");
    driver::EndProcessesByImageName(L"Holvenar.exe");
}

class InstallEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        EndHostedProcesses();
        RemoveInstallation();
    }
    void TearDown() override
    {
        EndHostedProcesses();
        RemoveInstallation();
    }
    // Installs setup and answers the final question with No.
    void Install(const std::wstring& setup)
    {
        const SetupRun run = DriveSetup({setup, L"/install en", {IDNO}});
        ASSERT_EQ(run.exitCode, 0u);
    }
    ScratchFolder scratch_;
};

TEST_F(InstallEndToEnd, FirstInstallationPutsEverythingInPlaceAndOpensTheApplication)
{
    const Tree packaged = PackagedTreeOf(g_defaultSetup);
    ASSERT_FALSE(packaged.empty());
    const SetupRun run = DriveSetup({g_defaultSetup, L"/install en", {IDYES}});
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kShortQuestion);
    EXPECT_TRUE(HostedProcessAppears(15000)) << "Yes did not open the application";

    const std::wstring folder = state::InstallFolder();
    const Tree installed = ReadTree(folder);
    EXPECT_EQ(WithoutSetupCopy(installed), packaged);
    Bytes setupBytes;
    ASSERT_TRUE(ReadBytes(g_defaultSetup, setupBytes));
    ASSERT_EQ(installed.count(L"Quro-Setup.exe"), 1u);
    EXPECT_EQ(installed.at(L"Quro-Setup.exe"), setupBytes);
    EXPECT_FALSE(Exists(folder + L".new"));
    EXPECT_TRUE(state::OldFolders().empty());

    // What each value holds is the registration test's; here, that the
    // sequence hands it this install's folder and size.
    EXPECT_TRUE(state::UninstallEntryComplete());
    EXPECT_EQ(StringValue(L"UninstallString"), L"\"" + folder + L"\\Quro-Setup.exe\" /uninstall");
    EXPECT_EQ(NumberValue(L"EstimatedSize"), UnpackedSizeOf(g_defaultSetup) >> 10);
    for (const std::wstring& link : {state::StartMenuShortcut(), state::DesktopShortcut()}) {
        EXPECT_EQ(ReadLink(link).path, folder + L"\\DraloHost.exe");
    }
}

TEST_F(InstallEndToEnd, UpdateReplacesTheFolderAndRetargetsAutostart)
{
    const std::wstring older = scratch_ / L"older.exe";
    MakeSetup(older, kOlder);
    Install(older);
    const std::wstring folder = state::InstallFolder();
    WriteBytes(folder + L"\\extra.txt", BytesOf("made by the application"));
    // An interrupted run's staging folder.
    ::CreateDirectoryW((folder + L".new").c_str(), nullptr);
    WriteBytes(folder + L".new\\stray.txt", BytesOf("half written"));
    {
        UniqueRegKey key;
        ASSERT_EQ(
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, state::kUninstallKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.put()),
            ERROR_SUCCESS);
        const Bytes other = state::StringValue(L"kept").data;
        ::RegSetValueExW(key.get(), L"HelpLink", 0, REG_SZ, other.data(), static_cast<DWORD>(other.size()));
    }
    ASSERT_TRUE(state::WriteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue, state::DwordValue(3)));

    // Started from a shell open in the install folder: a process's working
    // folder is one Windows will not rename.
    const SetupRun run = DriveSetup({g_defaultSetup, L"/install en", {IDNO}, folder});
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kLongQuestion);
    EXPECT_FALSE(HostedProcessAppears(2000)) << "No must start nothing";

    EXPECT_EQ(WithoutSetupCopy(ReadTree(folder)), PackagedTreeOf(g_defaultSetup));
    EXPECT_FALSE(Exists(folder + L".new"));
    EXPECT_TRUE(state::OldFolders().empty());
    EXPECT_EQ(StringValue(L"HelpLink"), L"kept");
    EXPECT_EQ(StringValue(L"DisplayVersion"), L"0J.76");
    // The older package is far smaller: the entry was written anew.
    ASSERT_NE(UnpackedSizeOf(older) >> 10, UnpackedSizeOf(g_defaultSetup) >> 10);
    EXPECT_EQ(NumberValue(L"EstimatedSize"), UnpackedSizeOf(g_defaultSetup) >> 10);
    const auto autostart = state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
    ASSERT_TRUE(autostart);
    EXPECT_EQ(autostart->type, DWORD(REG_SZ));
    EXPECT_EQ(autostart->data, state::StringValue(L"\"" + folder + L"\\DraloHost.exe\"").data);

    // Without an autostart value, an update makes none.
    state::DeleteValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue);
    EXPECT_EQ(DriveSetup({g_defaultSetup, L"/install en", {IDNO}}).exitCode, 0u);
    EXPECT_FALSE(state::ReadValue(HKEY_CURRENT_USER, state::kRunKey, state::kRunValue).has_value());
}

// Past the swap every step stands alone: a Start menu link that cannot be
// saved (a folder of that name stands in the way) keeps none of the rest out.
TEST_F(InstallEndToEnd, ALinkThatCannotBeSavedStopsNothingElse)
{
    const std::wstring blocked = state::StartMenuShortcut();
    ASSERT_TRUE(::CreateDirectoryW(blocked.c_str(), nullptr));
    const SetupRun run = DriveSetup({g_defaultSetup, L"/install en", {IDNO}});
    const bool stillAFolder = IsFolder(blocked);
    ::RemoveDirectoryW(blocked.c_str());
    EXPECT_TRUE(stillAFolder);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kShortQuestion);
    EXPECT_TRUE(ReadLink(state::DesktopShortcut()).loaded) << "the desktop link comes after the Start menu one";
    EXPECT_EQ(StringValue(L"DisplayName"), L"Quro Host");
    EXPECT_TRUE(Exists(state::InstallFolder() + L"\\Quro-Setup.exe"));
}

// Only the copy in the install folder is asked about and ended: a program of
// the same name elsewhere is none of ours and keeps running.
TEST_F(InstallEndToEnd, ARunningApplicationIsClosedOnlyWhenTheUserAgrees)
{
    Install(g_defaultSetup);
    const std::wstring folder = state::InstallFolder();
    ::CreateDirectoryW((folder + L"\\bin").c_str(), nullptr);
    const std::wstring otherCase = folder + L"\\bin\\DRALOHOST.EXE";
    const std::wstring elsewhere = scratch_ / L"DraloHost.exe";
    for (const std::wstring& copy : {otherCase, elsewhere}) {
        ASSERT_TRUE(::CopyFileW((folder + L"\\DraloHost.exe").c_str(), copy.c_str(), FALSE));
    }
    std::vector<UniqueHandle> running;
    for (const std::wstring& exe : {folder + L"\\DraloHost.exe", otherCase, folder + L"\\Holvenar.exe", elsewhere}) {
        running.emplace_back(driver::StartProgram(exe, L"").process.release());
        ASSERT_EQ(::WaitForInputIdle(running.back().get(), 10000), 0u) << "never came up";
    }
    const Tree before = ReadTree(folder);

    const SetupRun declined = DriveSetup({g_defaultSetup, L"/install en", {IDNO, IDOK}});
    EXPECT_EQ(declined.exitCode, 2u);
    ASSERT_EQ(declined.boxes.size(), 2u);
    EXPECT_EQ(declined.boxes[0].text, L"Quro Host is open. It will be closed so it can be updated. Continue?");
    EXPECT_EQ(declined.boxes[1].text, L"Nothing was changed.");
    for (const UniqueHandle& s : running) EXPECT_EQ(::WaitForSingleObject(s.get(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(ReadTree(folder), before);

    const SetupRun agreed = DriveSetup({g_defaultSetup, L"/install en", {IDYES, IDNO}});
    EXPECT_EQ(agreed.exitCode, 0u);
    ASSERT_EQ(agreed.boxes.size(), 2u);
    EXPECT_EQ(agreed.boxes[0].text, L"Quro Host is open. It will be closed so it can be updated. Continue?");
    EXPECT_EQ(agreed.boxes[1].text, kLongQuestion);
    for (std::size_t i = 0; i < running.size(); ++i) {
        const bool ours = i + 1 < running.size();
        EXPECT_EQ(::WaitForSingleObject(running[i].get(), 0), DWORD(ours ? WAIT_OBJECT_0 : WAIT_TIMEOUT)) << i;
    }
}

TEST_F(InstallEndToEnd, FailuresBeforeTheSwapLeaveThePreviousInstallationByteForByte)
{
    const std::wstring older = scratch_ / L"older.exe";
    MakeSetup(older, kOlder);
    Install(older);
    const Tree before = ReadTree(state::InstallFolder());

    Bytes damaged = Container(FileList(kOlder));
    damaged[20] ^= 0xFF;  // inside the fingerprint
    const std::wstring broken = scratch_ / L"broken.exe";
    MakeSetupWithResource(broken, damaged);
    // "block" is a file, so no folder of that name can hold inner.txt.
    const std::wstring unwritable = scratch_ / L"unwritable.exe";
    MakeSetup(unwritable,
              {{"DraloHost.exe", BytesOf("new")}, {"block", BytesOf("a file")}, {"block\\inner.txt", BytesOf("x")}});

    const struct {
        std::wstring setup;
        DWORD exitCode;
        std::wstring text;
    } cases[] = {
        {broken, 3, L"Quro Host was not installed: the setup program is damaged (fingerprint)"},
        {unwritable, 4, L"Quro Host was not installed: could not write block\\inner.txt\nNothing was changed."},
    };
    for (const auto& c : cases) {
        const SetupRun run = DriveSetup({c.setup, L"/install en", {IDOK}});
        EXPECT_EQ(run.exitCode, c.exitCode);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, c.text);
        EXPECT_EQ(ReadTree(state::InstallFolder()), before);
        EXPECT_FALSE(Exists(state::InstallFolder() + L".new"));
        EXPECT_TRUE(state::OldFolders().empty());
    }
}

// Two elevated runs at once (two clicks on a download, or an install while
// a removal runs) take turns: the second waits, showing nothing, until the
// first has ended, so the tree is always one run's complete result.
TEST_F(InstallEndToEnd, RunsStartedTogetherTakeTurns)
{
    const Tree packaged = PackagedTreeOf(g_defaultSetup);
    const SetupScript install = {g_defaultSetup, L"/install en", {IDNO}, L""};
    // From outside the install folder "/uninstall" removes without a
    // temporary copy: Yes, keep the data, and the final message.
    const SetupScript removal = {g_defaultSetup, L"/uninstall", {IDYES, IDNO, IDOK}, L""};
    for (const SetupRun& run : DriveSetupsTogether({install, install})) {
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.boxes.size(), 1u);
    }
    EXPECT_EQ(WithoutSetupCopy(ReadTree(state::InstallFolder())), packaged);
    EXPECT_FALSE(Exists(state::InstallFolder() + L".new"));
    EXPECT_TRUE(state::OldFolders().empty());

    const std::vector<SetupRun> both = DriveSetupsTogether({install, removal});
    EXPECT_EQ(both[0].exitCode, 0u);
    EXPECT_EQ(both[1].exitCode, 0u);
    if (Exists(state::InstallFolder())) {
        EXPECT_EQ(WithoutSetupCopy(ReadTree(state::InstallFolder())), packaged);
        EXPECT_EQ(StringValue(L"DisplayName"), L"Quro Host");
    } else {
        EXPECT_EQ(StringValue(L"DisplayName"), L"<absent>");
        EXPECT_FALSE(ReadLink(state::DesktopShortcut()).loaded);
    }
    EXPECT_FALSE(Exists(state::InstallFolder() + L".new"));
    EXPECT_TRUE(state::OldFolders().empty());
}

// Unattended runs in a lane where nobody can answer a window (Wine's null
// driver, where a box waits for ever as in session 0): each must end by
// itself, within its time bound, with the exit code an engine reads.
class Unattended : public InstallEndToEnd {
protected:
    static constexpr DWORD kBoundMs = 60000;
    std::wstring log_ = scratch_ / L"setup.log";
    std::wstring Log() const { return L" /log \"" + log_ + L"\""; }
};

TEST_F(Unattended, InstallAndUpdateAskNothingAndShowNothing)
{
    ASSERT_EQ(RunToExit(g_defaultSetup, L"/quiet" + Log(), L"", kBoundMs), 0u);
    const std::wstring folder = state::InstallFolder();
    const Tree packaged = PackagedTreeOf(g_defaultSetup);
    EXPECT_EQ(WithoutSetupCopy(ReadTree(folder)), packaged);
    EXPECT_TRUE(state::UninstallEntryComplete());
    EXPECT_EQ(StringValue(L"QuietUninstallString"), L"\"" + folder + L"\\Quro-Setup.exe\" /uninstall /quiet");
    EXPECT_FALSE(HostedProcessAppears(1000)) << "the application is never opened";

    // The application runs: left running and nothing changed, unless the
    // command line says to close it.
    const std::wstring other = scratch_ / L"other.exe";
    MakeSetup(other, kOlder);
    UniqueHandle running(driver::StartProgram(folder + L"\\DraloHost.exe", L"").process.release());
    ASSERT_TRUE(HostedProcessAppears(10000));
    EXPECT_EQ(RunToExit(other, L"/install en /quiet" + Log(), L"", kBoundMs), 2u);
    EXPECT_EQ(::WaitForSingleObject(running.get(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(WithoutSetupCopy(ReadTree(folder)), packaged);
    EXPECT_EQ(RunToExit(other, L"/install en /passive /closeapp" + Log(), L"", kBoundMs), 0u);
    EXPECT_EQ(::WaitForSingleObject(running.get(), 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WithoutSetupCopy(ReadTree(folder)), TreeOf(kOlder));

    const std::string log = ReadFileText(log_).value_or("");
    for (const char* line : {"command line: ", "/quiet /log", "extract ", "files into ", "swap: ", "register",
                             "asked: Quro Host is open. It will be closed so it can be updated. Continue? -> no "
                             "(unattended)",
                             "message: Nothing was changed.", "exit code 2", "-> yes (unattended)", "exit code 0"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

// Held at the uninstall entry by the paused build: a quiet run has no window
// at all, a passive one its progress window and nothing else.
TEST_F(Unattended, OnlyAPassiveRunShowsItsProgress)
{
    const std::wstring setup = scratch_ / L"paused.exe";
    MakeSetup(setup, kOlder, L"quro-setup-paused-stub.exe");
    const std::wstring paused = scratch_ / L"paused", resume = scratch_ / L"resume";
    ::SetEnvironmentVariableW(L"QURO_PAUSED_FILE", paused.c_str());
    ::SetEnvironmentVariableW(L"QURO_RESUME_FILE", resume.c_str());
    for (const auto& [mode, windows] : {std::pair{L"/quiet", 0u}, std::pair{L"/passive", 1u}}) {
        ::DeleteFileW(paused.c_str());
        ::DeleteFileW(resume.c_str());
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", L"registration");
        driver::Started run = driver::StartProgram(setup, std::wstring(L"/install en ") + mode);
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", nullptr);
        ASSERT_TRUE(WaitForPause(paused, run.process.get())) << mode;
        EXPECT_EQ(driver::WaitForWindow(L"Quro Host Setup", 0, run.processId) ? 1u : 0u, windows) << mode;
        WriteBytes(resume, BytesOf("go on"));
        EXPECT_EQ(driver::WaitForExit(run.process.get(), kBoundMs), 0u) << mode;
    }
}

// Another setup holds the lock: an unattended run waits a bounded time (the
// paused build's wait is a sixtieth of the program's), then ends with 1618
// and nothing changed.
TEST_F(Unattended, AnotherSetupRunningEndsWith1618)
{
    const std::wstring setup = scratch_ / L"paused.exe";
    MakeSetup(setup, kOlder, L"quro-setup-paused-stub.exe");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)",
                                                                       SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueHandle lock(::CreateMutexW(&attributes, TRUE, L"Global\\QuroHostSetupRun"));
    ::LocalFree(descriptor);
    ASSERT_TRUE(lock);
    EXPECT_EQ(RunToExit(setup, L"/quiet" + Log(), L"", kBoundMs), 1618u);
    ::ReleaseMutex(lock.get());
    EXPECT_FALSE(Exists(state::InstallFolder()));
    EXPECT_FALSE(Exists(state::InstallFolder() + L".new"));
    EXPECT_NE(ReadFileText(log_).value_or("").find("another setup is still running"), std::string::npos);
}

// The registered quiet uninstall command returns only when the removal is
// done: 0 with everything gone, 3010 when a file held open waits for the
// restart.
TEST_F(Unattended, QuietUninstallReturnsWhenTheWorkIsDone)
{
    PendingDeletionsGuard pending;
    for (const bool holdAFile : {false, true}) {
        SCOPED_TRACE(holdAFile ? "a file held open" : "nothing held");
        ClearPendingDeletions();
        ASSERT_EQ(RunToExit(g_defaultSetup, L"/install en /quiet", L"", kBoundMs), 0u);
        const std::wstring folder = state::InstallFolder();
        const std::wstring command = StringValue(L"QuietUninstallString");
        ASSERT_EQ(command.rfind(L"\"" + folder + L"\\Quro-Setup.exe\" ", 0), 0u) << command;
        UniqueFileHandle held;
        if (holdAFile) {
            WriteBytes(folder + L"\\held.txt", BytesOf("in use"));
            held.reset(::CreateFileW((folder + L"\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
        }
        const driver::Started run = driver::StartCommandLine(L"", command + Log());
        ASSERT_TRUE(run.process);
        EXPECT_EQ(driver::WaitForExit(run.process.get(), kBoundMs), holdAFile ? 3010u : 0u);
        EXPECT_EQ(Exists(folder), holdAFile);
        EXPECT_EQ(StringValue(L"DisplayName"), L"<absent>");
        EXPECT_FALSE(Exists(state::StartMenuShortcut()));
        EXPECT_FALSE(Exists(state::DesktopShortcut()));
        const std::vector<std::wstring> restart = PendingDeletions();
        // The uninstaller that waited went into the temporary folder, which
        // goes at the restart with both copies in it.
        ASSERT_GE(restart.size(), 3u);
        EXPECT_EQ(restart.back().find(state::ProgramFiles() + L"\\Quro-Remove-"), 0u) << restart.back();
        EXPECT_EQ(std::count(restart.begin(), restart.end(), folder), holdAFile ? 1 : 0);
    }
}

// Any user may make the lock's mutex first; one owned by them, not by
// Administrators, is not waited for, and the runs take turns on the lock
// file under Program Files instead: a run holds it, without sharing, until
// it ends, and the next one waits for it.
TEST_F(InstallEndToEnd, RunsTakeTurnsWhenAUserMadeTheLocksMutex)
{
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    UniqueHandle token;
    DWORD length = 0;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &length));
    SECURITY_DESCRIPTOR owned{};
    ::InitializeSecurityDescriptor(&owned, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorOwner(&owned, reinterpret_cast<TOKEN_USER*>(user)->User.Sid, FALSE);
    ::SetSecurityDescriptorDacl(&owned, TRUE, nullptr, FALSE);  // anyone may open it
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &owned, FALSE};
    const UniqueHandle squatted(::CreateMutexW(&attributes, TRUE, L"Global\\QuroHostSetupRun"));
    ASSERT_TRUE(squatted);

    const driver::Started first = driver::StartProgram(g_defaultSetup, L"/install en");
    // The final question: the first run holds its lock until it ends.
    const HWND question = WaitForMessageBox(first.processId, 60000);
    EXPECT_TRUE(question);
    const std::wstring lockFile = state::ProgramFiles() + L"\\Quro-Setup.lock";
    EXPECT_FALSE(
        UniqueFileHandle(::CreateFileW(lockFile.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "the lock file is not held";
    const driver::Started second = driver::StartProgram(g_defaultSetup, L"/install en");
    EXPECT_EQ(WaitForMessageBox(second.processId, 3000), nullptr) << "the second run did not wait";
    driver::PressButton(question, IDNO);
    EXPECT_EQ(driver::WaitForExit(first.process.get(), 30000), 0u);
    driver::PressButton(WaitForMessageBox(second.processId, 60000), IDNO);
    EXPECT_EQ(driver::WaitForExit(second.process.get(), 30000), 0u);
    // Neither run outlives the case, whatever failed above.
    ::TerminateProcess(first.process.get(), 1);
    ::TerminateProcess(second.process.get(), 1);
    EXPECT_FALSE(Exists(lockFile)) << "the lock file outlived its run";
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int i = 1; i < argc; ++i) {
        if (std::wcsncmp(argv[i], L"--default-setup=", 16) == 0) g_defaultSetup = argv[i] + 16;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
