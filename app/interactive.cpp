#include "app/interactive.h"

#include "base/exit_codes.h"
#include "base/log.h"
#include "base/product.h"
#include "ui/language.h"
#include "ui/message_box.h"
#include "ui/run_mode.h"
#include "ui/texts.h"
#include "install/install_sequence.h"
#include "remove/removal.h"
#include "app/elevation.h"

#include <windows.h>
#include <objbase.h>

#include <cwchar>

namespace quro {

namespace {

// Set in our environment just before the "runas" relaunch, so that the copy
// it starts inherits it, and taken out again by every copy at its start, so
// that nothing the copy starts later sees it. Windows starts the elevated copy
// with administrator rights, and then the mark changes nothing. A copy that
// has the mark and still no rights was started by a "runas" that could not
// elevate (no administrator prompt on this system); relaunching again would
// only repeat that, and a removal, which asks nothing before its relaunch,
// would go on starting copies of itself for ever.
constexpr const wchar_t kRelaunchMark[] = L"QURO_SETUP_RELAUNCHED";

bool TakeRelaunchMark()
{
    const bool present = ::GetEnvironmentVariableW(kRelaunchMark, nullptr, 0) > 0;
    ::SetEnvironmentVariableW(kRelaunchMark, nullptr);
    return present;
}

// A process keeps its working folder open, and Windows will not rename a
// folder that is some process's working folder: a setup started from inside
// the install folder (from a shell open there, or the uninstaller started
// with its own folder) would keep the install folder from being set aside or
// deleted. Nothing here uses a relative path, so the system folder serves,
// which no install or removal touches.
void LeaveWorkingFolder()
{
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) ::SetCurrentDirectoryW(system);
}

}  // namespace

bool ConfirmInstall()
{
    return AskYesNo(Localize(InstallQuestionStart) + kProductVersion + Localize(InstallQuestionEnd), false,
                    Question::Install);
}

namespace {

int RunCommand(Command command, int argc, wchar_t** argv)
{
    LeaveWorkingFolder();
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool relaunched = TakeRelaunchMark();

    const bool removal = command == Command::Uninstall || command == Command::UninstallTemp;
    if (removal) {
        SetUiLanguage(ReadLanguageFile());
    } else if (command == Command::Install) {
        const bool arabic = argc >= 3 && std::wcscmp(argv[2], L"ar") == 0;
        SetUiLanguage(arabic ? UiLanguage::Arabic : UiLanguage::English);
    } else {
        const std::optional<UiLanguage> choice = ChooseLanguage();
        if (!choice) return exit_code::kRefused;  // cancelled: nothing stored, asked or started
        SetUiLanguage(*choice);
        WriteLanguageFile();
    }

    if (IsElevated()) {
        if (command == Command::Uninstall) return RunRemoval(false);
        if (command == Command::UninstallTemp) return RunRemoval(true);
        return RunInstall();  // no question: the user answered it before the relaunch
    }

    // A person asked again answers No in the end; an unattended copy would
    // go on starting copies of itself for ever.
    if (relaunched && (removal || IsUnattended())) {
        Log(L"no administrator rights after the relaunch");
        return exit_code::kRefused;  // as when the elevated copy could not be started
    }
    std::wstring parameters;
    if (removal) {
        // The elevated copy runs as Uninstall and makes its own temporary copy.
        parameters = L"/uninstall";
    } else {
        if (!ConfirmInstall()) return exit_code::kRefused;
        parameters = CurrentUiLanguage() == UiLanguage::Arabic ? L"/install ar" : L"/install en";
    }
    parameters += UnattendedWords();
    ::SetEnvironmentVariableW(kRelaunchMark, L"1");
    Log(L"relaunch with administrator rights: " + parameters);
    // A person sees the elevated copy take over; an unattended caller reads
    // only our exit code, so it gets the elevated copy's once that has ended.
    if (IsUnattended()) return RelaunchElevatedAndWait(parameters);
    return RelaunchElevated(parameters) ? exit_code::kDone : exit_code::kRefused;
}

}  // namespace

int RunInteractiveCommand(Command command, int argc, wchar_t** argv)
{
    // Before anything leaves the working folder: a relative log path is the
    // caller's.
    RunOptions options = ParseRunOptions(argc, argv);
    // Where no window is seen (session 0, where deployment engines run
    // setups as SYSTEM), a box would wait for ever: such a run is quiet.
    if (options.mode == RunMode::Interactive && !WindowsCanBeSeen()) options.mode = RunMode::Quiet;
    SetRunOptions(options);
    if (!options.logPath.empty()) OpenLog(options.logPath);
    Log(std::wstring(L"Quro Host Setup ") + kProductVersion + L", command line: " + ::GetCommandLineW());

    int code = RunCommand(command, argc, argv);
    // Windows' code for "done, the restart finishes it" means something only
    // to the engines that read it; a person was told in words.
    if (code == exit_code::kRestartNeeded && !IsUnattended()) code = exit_code::kDone;
    Log(L"exit code " + Decimal(static_cast<unsigned>(code)));
    return code;
}

}  // namespace quro
