#include "app/interactive.h"

#include "base/exit_codes.h"
#include "base/product.h"
#include "ui/language.h"
#include "ui/message_box.h"
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
    return AskYesNo(Localize(InstallQuestionStart) + kProductVersion + Localize(InstallQuestionEnd), false);
}

int RunInteractiveCommand(Command command, int argc, wchar_t** argv)
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

    const wchar_t* parameters = nullptr;
    if (removal) {
        if (relaunched) return exit_code::kRefused;  // as when the elevated copy could not be started
        // The elevated copy runs as Uninstall and makes its own temporary copy.
        parameters = L"/uninstall";
    } else {
        if (!ConfirmInstall()) return exit_code::kRefused;
        parameters = CurrentUiLanguage() == UiLanguage::Arabic ? L"/install ar" : L"/install en";
    }
    ::SetEnvironmentVariableW(kRelaunchMark, L"1");
    return RelaunchElevated(parameters) ? exit_code::kDone : exit_code::kRefused;
}

}  // namespace quro
