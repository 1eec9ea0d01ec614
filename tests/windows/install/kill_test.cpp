// Updates killed at random moments. After each kill the install folder holds
// one version complete, or, only between the two renames, is absent while
// the previous version lies complete under an old folder's name; running the
// setup again always ends with the new version complete.
//   --kills=N   number of killed updates (default 10)
//   --report    print the counts (for bench/), and do not fail on mixed trees
#include "app/unique_handles.h"
#include "drive_setup.h"
#include "install_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <random>

namespace {

int g_kills = 10;
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

State Classify(const Tree& previous, const Tree& next)
{
    const std::wstring folder = TestInstallFolder();
    if (Exists(folder)) {
        const Tree tree = WithoutSetupCopy(ReadTree(folder));
        if (tree == previous) return State::Previous;
        if (tree == next) return State::Next;
        return State::Mixed;
    }
    for (const std::wstring& old : OldFolders()) {
        if (WithoutSetupCopy(ReadTree(old)) == previous) return State::AbsentWithPreviousAside;
    }
    return State::Mixed;
}

const char* Name(State s)
{
    switch (s) {
    case State::Previous: return "previous";
    case State::Next: return "next";
    case State::AbsentWithPreviousAside: return "absent, previous aside";
    default: return "mixed";
    }
}

TEST(KilledUpdate, NeverLeavesAMixedTreeAndTheRerunCompletes)
{
    RemoveInstallation();
    ScratchFolder scratch;
    const std::vector<TestFile> versions[2] = {Version("A"), Version("B")};
    const std::wstring setups[2] = {scratch / L"setup-a.exe", scratch / L"setup-b.exe"};
    const Tree trees[2] = {TreeOf(versions[0]), TreeOf(versions[1])};
    MakeSetup(setups[0], versions[0]);
    MakeSetup(setups[1], versions[1]);

    // The first install, timed until its last file-system step (the links):
    // kills land in that span and a little beyond. Closing the windows that
    // follows can take far longer, and nothing on disk changes during it.
    const ULONGLONG start = ::GetTickCount64();
    const driver::Started first = driver::StartProgram(setups[0], L"/install en");
    UniqueHandle firstProcess(first.process.get());
    while (!Exists(TestDesktopLink()) && ::GetTickCount64() - start < 60000) ::Sleep(2);
    const DWORD span = static_cast<DWORD>((::GetTickCount64() - start) * 5 / 4);
    const HWND question = WaitForMessageBox(first.processId, 60000);
    ASSERT_NE(question, nullptr);
    driver::PressButton(question, IDNO);
    ASSERT_EQ(driver::WaitForExit(firstProcess.get(), 30000), 0u);

    const unsigned seed = static_cast<unsigned>(::GetTickCount64());
    std::mt19937 random(seed);
    std::uniform_int_distribution<DWORD> moment(0, span);
    int installed = 0;  // the version in place
    int mixed = 0;
    int counts[4] = {};
    for (int kill = 0; kill < g_kills; ++kill) {
        const int next = 1 - installed;
        const DWORD after = moment(random);
        UniqueHandle update(driver::StartProgram(setups[next], L"/install en").process.get());
        ASSERT_TRUE(update);
        ::WaitForSingleObject(update.get(), after);
        ::TerminateProcess(update.get(), 99);
        ::WaitForSingleObject(update.get(), 10000);

        const State state = Classify(trees[installed], trees[next]);
        ++counts[static_cast<int>(state)];
        if (state == State::Mixed) {
            ++mixed;
            if (!g_report) ADD_FAILURE() << "mixed tree after a kill at " << after << " ms (seed " << seed << ")";
        }

        const SetupRun rerun = DriveSetup(setups[next], L"/install en", {IDNO});
        EXPECT_EQ(rerun.exitCode, 0u) << "rerun after a kill at " << after << " ms (" << Name(state) << ")";
        EXPECT_EQ(WithoutSetupCopy(ReadTree(TestInstallFolder())), trees[next]) << "after a kill at " << after << " ms";
        EXPECT_FALSE(Exists(TestInstallFolder() + L".new"));
        EXPECT_TRUE(OldFolders().empty()) << "an old folder outlived the rerun";
        installed = next;
    }
    if (g_report) {
        std::printf("span %lu ms, seed %u\nkills: %d\nmixed trees: %d\n", static_cast<unsigned long>(span), seed,
                    g_kills, mixed);
        for (int s = 0; s < 4; ++s) std::printf("  %s: %d\n", Name(static_cast<State>(s)), counts[s]);
    }
    RemoveInstallation();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (int i = 1; i < argc; ++i) {
        if (std::wcsncmp(argv[i], L"--kills=", 8) == 0) g_kills = static_cast<int>(std::wcstol(argv[i] + 8, nullptr, 10));
        if (std::wcscmp(argv[i], L"--report") == 0) g_report = true;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
