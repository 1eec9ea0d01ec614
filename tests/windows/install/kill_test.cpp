// Updates killed at random moments, and at moments aimed at each step of the
// sequence: a test build of the setup program (pause_seams.cpp) stops between
// the two renames, while it writes the uninstaller, or halfway through the
// uninstall entry, and is killed there. After each kill the install folder
// holds one version complete, or, only between the two renames, is absent
// while the previous version lies complete under an old folder's name;
// running the setup again always ends with the new version complete, its
// uninstaller the setup program byte for byte and all ten uninstall values
// in place.
//   --kills=N   number of killed updates (default 3: one in each aimed step), the kinds in turn
//   --report    print the counts (for bench/), and do not fail on mixed trees
#include "base/unique_handles.h"
#include "tests/windows/support/drive_setup.h"
#include "tests/windows/support/install_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <random>

using namespace quro;

namespace {

int g_kills = 3;
bool g_report = false;

// Two versions that differ in every file, with enough files that a kill
// lands in extraction as often as in the swap and the registration.
std::vector<TestFile> Version(const std::string& tag)
{
    std::vector<TestFile> files = {{"DraloHost.exe", BytesOf("main program " + tag)},
                                   {"Holvenar.exe", BytesOf("helper " + tag)}};
    for (int i = 0; i < 300; ++i) {
        Bytes data(3000 + 97 * i, std::uint8_t(tag[0] + i));
        files.push_back({"data\\part" + std::to_string(i / 50) + "\\file" + std::to_string(i) + ".bin", data});
    }
    return files;
}

enum class State { Previous, Next, AbsentWithPreviousAside, Mixed };

// Where a kill is aimed: a random moment of the install span, or the step
// named by the paused build's QURO_PAUSE_AT.
// The aimed steps come first: the suite's three kills land one in each, and
// bench/kill-bench adds the random moments.
const wchar_t* const kWindows[] = {L"swap", L"copy", L"registration", nullptr};
const char* const kWindowNames[] = {"between the renames", "during the setup copy", "during registration",
                                    "random moment"};
constexpr int kWindowCount = 4;

State Classify(const Tree& previous, const Tree& next)
{
    const std::wstring folder = state::InstallFolder();
    if (Exists(folder)) {
        const Tree tree = WithoutSetupCopy(ReadTree(folder));
        if (tree == previous) return State::Previous;
        if (tree == next) return State::Next;
        return State::Mixed;
    }
    for (const std::wstring& old : state::OldFolders()) {
        if (WithoutSetupCopy(ReadTree(old)) == previous) return State::AbsentWithPreviousAside;
    }
    return State::Mixed;
}

const char* Name(State s)
{
    switch (s) {
    case State::Previous:
        return "previous";
    case State::Next:
        return "next";
    case State::AbsentWithPreviousAside:
        return "absent, previous aside";
    default:
        return "mixed";
    }
}

TEST(KilledUpdate, NeverLeavesAMixedTreeAndTheRerunCompletes)
{
    RemoveInstallation();
    ScratchFolder scratch;
    const std::vector<TestFile> versions[2] = {Version("A"), Version("B")};
    const std::wstring setups[2] = {scratch / L"setup-a.exe", scratch / L"setup-b.exe"};
    const Tree trees[2] = {TreeOf(versions[0]), TreeOf(versions[1])};
    MakeSetup(setups[0], versions[0], L"quro-setup-paused-stub.exe");
    MakeSetup(setups[1], versions[1], L"quro-setup-paused-stub.exe");
    Bytes setupBytes[2];
    ASSERT_TRUE(ReadBytes(setups[0], setupBytes[0]) && ReadBytes(setups[1], setupBytes[1]));
    const std::wstring paused = scratch / L"paused";
    ::SetEnvironmentVariableW(L"QURO_PAUSED_FILE", paused.c_str());

    // The first install, timed until its last file-system step (the links):
    // kills land in that span and a little beyond. Closing the windows that
    // follows can take far longer, and nothing on disk changes during it.
    const ULONGLONG start = ::GetTickCount64();
    driver::Started first = driver::StartProgram(setups[0], L"/install en");
    const UniqueHandle firstProcess(std::move(first.process));
    while (!Exists(state::DesktopShortcut()) && ::GetTickCount64() - start < 60000) ::Sleep(2);
    const DWORD span = static_cast<DWORD>((::GetTickCount64() - start) * 5 / 4);
    const HWND question = WaitForMessageBox(first.processId, 60000);
    ASSERT_NE(question, nullptr);
    driver::PressButton(question, IDNO);
    ASSERT_EQ(driver::WaitForExit(firstProcess.get(), 30000), 0u);

    const unsigned seed = static_cast<unsigned>(::GetTickCount64());
    std::mt19937 random(seed);
    std::uniform_int_distribution<DWORD> moment(0, span);
    int installed = 0;  // the version in place
    int mixed = 0, broken = 0;
    int counts[kWindowCount][4] = {};
    for (int kill = 0; kill < g_kills; ++kill) {
        const int next = 1 - installed;
        const int window = kill % kWindowCount;
        const DWORD after = moment(random);
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", kWindows[window]);  // null: no pause
        ::DeleteFileW(paused.c_str());
        UniqueHandle update(driver::StartProgram(setups[next], L"/install en").process.release());
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", nullptr);
        ASSERT_TRUE(update);
        if (kWindows[window]) {
            EXPECT_TRUE(WaitForPause(paused, update.get()))
                << "the update never reached the step " << kWindowNames[window];
        } else {
            ::WaitForSingleObject(update.get(), after);
        }
        ::TerminateProcess(update.get(), 99);
        ::WaitForSingleObject(update.get(), 10000);

        const State state = Classify(trees[installed], trees[next]);
        ++counts[window][static_cast<int>(state)];
        if (state == State::Mixed) {
            ++mixed;
            if (!g_report) {
                ADD_FAILURE() << "mixed tree after a kill " << kWindowNames[window] << " (seed " << seed << ")";
            }
        }

        const SetupRun rerun = DriveSetup({setups[next], L"/install en", {IDNO}});
        EXPECT_EQ(rerun.exitCode, 0u) << "rerun after a kill " << kWindowNames[window] << " (" << Name(state) << "), "
                                      << rerun.boxes.size() << " boxes";
        const Tree tree = ReadTree(state::InstallFolder());
        EXPECT_EQ(WithoutSetupCopy(tree), trees[next]) << "after a kill " << kWindowNames[window];
        const bool uninstaller = tree.count(L"Quro-Setup.exe") == 1 && tree.at(L"Quro-Setup.exe") == setupBytes[next];
        const bool entry = state::UninstallEntryComplete();
        EXPECT_TRUE(uninstaller) << "uninstaller after a kill " << kWindowNames[window];
        EXPECT_TRUE(entry) << "uninstall entry after a kill " << kWindowNames[window];
        if (!uninstaller || !entry) ++broken;
        EXPECT_FALSE(Exists(state::InstallFolder() + L".new"));
        EXPECT_TRUE(state::OldFolders().empty()) << "an old folder outlived the rerun";
        installed = next;
    }
    if (g_report) {
        std::printf("span %lu ms, seed %u\nkills: %d\nmixed trees: %d\n", static_cast<unsigned long>(span), seed,
                    g_kills, mixed);
        std::printf("reruns without a whole uninstaller or entry: %d\n", broken);
        for (int w = 0; w < kWindowCount; ++w) {
            std::printf("  %s:", kWindowNames[w]);
            for (int s = 0; s < 4; ++s) {
                std::printf(" %s %d%s", Name(static_cast<State>(s)), counts[w][s], s < 3 ? "," : "\n");
            }
        }
    }
    RemoveInstallation();
}

// The elevated run held before it opens its own file, and then the
// download replaced (the file it would copy as the uninstaller is not the
// program that runs), or held by another program without sharing (there is
// nothing to copy): nothing is installed or registered.
TEST(OwnFile, WhatCannotBeTheUninstallerIsNeverInstalled)
{
    RemoveInstallation();
    for (const bool replace : {true, false}) {
        SCOPED_TRACE(replace ? "replaced" : "held");
        ScratchFolder scratch;
        const std::wstring setup = scratch / L"Quro-Setup.exe";
        MakeSetup(setup, Version("A"), L"quro-setup-paused-stub.exe");
        MakeSetup(scratch / L"planted.exe", Version("B"));
        const std::wstring paused = scratch / L"paused", resume = scratch / L"resume";
        ::SetEnvironmentVariableW(L"QURO_PAUSED_FILE", paused.c_str());
        ::SetEnvironmentVariableW(L"QURO_RESUME_FILE", resume.c_str());
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", L"start");
        driver::Started run = driver::StartProgram(setup, L"/install en");
        ::SetEnvironmentVariableW(L"QURO_PAUSE_AT", nullptr);
        ::SetEnvironmentVariableW(L"QURO_RESUME_FILE", nullptr);
        ASSERT_TRUE(run.process);
        ASSERT_TRUE(WaitForPause(paused, run.process.get()));
        UniqueFileHandle held;
        if (replace) {
            // As a user's process can: the running program renamed, another in its place.
            ASSERT_TRUE(::MoveFileExW(setup.c_str(), (scratch / L"moved.exe").c_str(), 0));
            ASSERT_TRUE(::CopyFileW((scratch / L"planted.exe").c_str(), setup.c_str(), TRUE));
        } else {
            held.reset(::CreateFileW(setup.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
        }
        ASSERT_TRUE(WriteBytes(resume, {}));

        const HWND box = WaitForMessageBox(run.processId, 60000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(driver::DescribeWindow(box).text,
                  L"Quro Host was not installed: the setup program is damaged (download it again)");
        driver::PressButton(box, IDOK);
        EXPECT_EQ(driver::WaitForExit(run.process.get(), 30000), 3u);
        EXPECT_FALSE(Exists(state::InstallFolder()));
        EXPECT_FALSE(Exists(state::InstallFolder() + L".new"));
        EXPECT_FALSE(state::KeyExists(HKEY_LOCAL_MACHINE, state::kUninstallKey, KEY_WOW64_64KEY));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int i = 1; i < argc; ++i) {
        if (std::wcsncmp(argv[i], L"--kills=", 8) == 0) {
            g_kills = static_cast<int>(std::wcstol(argv[i] + 8, nullptr, 10));
        }
        if (std::wcscmp(argv[i], L"--report") == 0) g_report = true;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
