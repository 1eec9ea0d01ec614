#include "app/command.h"

#include <cwchar>

namespace quro {

namespace {
bool Is(const wchar_t* argument, const wchar_t* literal) { return std::wcscmp(argument, literal) == 0; }
}  // namespace

Command SelectCommand(int argc, wchar_t** argv)
{
    const wchar_t* first = argc >= 2 ? argv[1] : L"";
    if (Is(first, L"/verify")) return Command::Verify;
    if (Is(first, L"/extract-to") && argc >= 3) return Command::ExtractTo;
    if (Is(first, L"/uninstall")) return Command::Uninstall;
    if (Is(first, L"/uninstall-temp")) return Command::UninstallTemp;
    if (Is(first, L"/install")) return Command::Install;
    return Command::Interactive;
}

}  // namespace quro
