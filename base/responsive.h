// The program has one thread, and its windows answer only while that thread
// drains their messages. Windows marks a window that has not answered for
// five seconds as not responding, and the user may then end the program: an
// install ended after the swap would skip its registration. The long steps
// of the lower layers (decompressing, hashing, writing a large file, waiting
// for a folder) therefore call StayResponsive between pieces of their work,
// and the progress window hooks its message pump in here.
#pragma once

#include <windows.h>

namespace quro {

// The function StayResponsive calls; null for none.
void SetResponsiveHook(void (*hook)());
void StayResponsive();
// Sleeps for milliseconds in slices, staying responsive between them.
void WaitResponsive(DWORD milliseconds);

}  // namespace quro
