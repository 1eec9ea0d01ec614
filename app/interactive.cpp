#include "app/command.h"

#include <objbase.h>

int RunInteractiveCommand(Command, int, wchar_t**)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The language, the elevation test and the relaunch come with the
    // interactive start; until then no other command does anything.
    return 1;
}
