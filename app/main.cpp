// The entry point: hardens the DLL search, picks one command from the first
// argument and runs it, here or in an elevated copy of the program.
#include "base/exit_codes.h"
#include "package/extract.h"
#include "package/file_list.h"
#include "app/command.h"
#include "app/interactive.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    using namespace quro;
    // Before anything else: take the current folder out of the DLL search and
    // limit later loads to System32. Results are not examined.
    ::SetDllDirectoryW(L"");
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    int argc = 0;
    // The array lives until the process ends; nothing frees it.
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) argc = 0;
    const Command command = SelectCommand(argc, argv);

    if (command == Command::Verify) {
        PackageEntries entries;
        return UnpackPackage(entries).empty() && !entries.empty() ? exit_code::kDone : exit_code::kRefused;
    }
    if (command == Command::ExtractTo) {
        PackageEntries entries;
        if (!UnpackPackage(entries).empty()) return exit_code::kRefused;
        return ExtractToFolder(argv[2], entries, ProgressCallback{}).empty() ? exit_code::kDone
                                                                             : exit_code::kNotExtracted;
    }

    return RunInteractiveCommand(command, argc, argv);
}
