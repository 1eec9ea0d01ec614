#include "ui/window_station_call.h"

namespace quro {

BOOL WindowStationFlagsCall(USEROBJECTFLAGS* flags)
{
    DWORD needed = 0;
    return ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, flags, sizeof *flags, &needed);
}

}  // namespace quro
