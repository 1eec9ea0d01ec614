#pragma once

// Refused renames answer as Windows does when a file inside is open; the
// "Twice" modes refuse the first two tries of that rename and then let it
// pass, AsideRefusedFor10s refuses it until ten seconds of pauses have gone
// by. While the move aside fails for good, the Restart Manager seam names a
// holder; otherwise it names none.
enum class MoveMode {
    PassThrough,
    AsideFails,
    IntoPlaceFails,
    IntoPlaceAndBackFail,
    HoldAfterAside,
    AsideRefusedTwice,
    IntoPlaceRefusedTwice,
    AsideRefusedFor10s
};

void SetMoveMode(MoveMode mode);

#include <string>

// The progress window as the first folder rename found it (every file is
// written by then): "caption|status|position|range end", empty when no
// window of the setup program's class was up.
const std::wstring& ProgressAtFirstMove();
// The pauses between refused renames, added up (none is sat out).
unsigned long RetryPauseTotal();
// The status line after five seconds of pauses; empty when none went by.
const std::wstring& StatusWhileWaiting();

inline constexpr wchar_t kSeamHolder[] = L"Contoso Scanner";
