#include "base/responsive.h"

namespace quro {

namespace {

void (*g_hook)() = nullptr;
// Short enough that the queue never waits long, long enough that a wait
// costs next to nothing.
constexpr DWORD kSliceMs = 50;

}  // namespace

void SetResponsiveHook(void (*hook)()) { g_hook = hook; }

void StayResponsive()
{
    if (g_hook) g_hook();
}

void WaitResponsive(DWORD milliseconds)
{
    for (;;) {
        StayResponsive();
        const DWORD slice = milliseconds < kSliceMs ? milliseconds : kSliceMs;
        if (slice == 0) return;
        ::Sleep(slice);
        milliseconds -= slice;
    }
}

}  // namespace quro
