#include "app/command.h"

#include "base/system_paths.h"

#include <cwchar>

namespace quro {

namespace {
bool Is(const wchar_t* argument, const wchar_t* literal) { return std::wcscmp(argument, literal) == 0; }

bool IsModeWord(const wchar_t* argument) { return Is(argument, L"/quiet") || Is(argument, L"/passive"); }

}  // namespace

Command SelectCommand(int argc, wchar_t** argv)
{
    const wchar_t* first = argc >= 2 ? argv[1] : L"";
    if (Is(first, L"/verify")) return Command::Verify;
    if (Is(first, L"/extract-to") && argc >= 3) return Command::ExtractTo;
    if (Is(first, L"/uninstall")) return Command::Uninstall;
    if (Is(first, L"/uninstall-temp")) return Command::UninstallTemp;
    // winget and its kind put their switches right after the program, with
    // no command before them.
    if (Is(first, L"/install") || IsModeWord(first)) return Command::Install;
    return Command::Interactive;
}

RunOptions ParseRunOptions(int argc, wchar_t** argv)
{
    RunOptions options;
    const int start = argc >= 2 && IsModeWord(argv[1]) ? 1 : 2;
    for (int i = start; i < argc; ++i) {
        const wchar_t* word = argv[i];
        if (Is(word, L"/quiet")) {
            options.mode = RunMode::Quiet;
        } else if (Is(word, L"/passive")) {
            options.mode = RunMode::Passive;
        } else if (Is(word, L"/closeapp")) {
            options.closeApp = true;
        } else if (Is(word, L"/removedata")) {
            options.removeData = true;
        } else if (Is(word, L"/log") && i + 1 < argc) {
            // Every elevated run leaves its working folder for the system
            // folder before it does anything, and the copies it starts begin
            // elsewhere: a relative name is made whole while it still means
            // what the caller meant.
            options.logPath = FullPathOf(argv[++i]);
        }
    }
    return options;
}

}  // namespace quro
