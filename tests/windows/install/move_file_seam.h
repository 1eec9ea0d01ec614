#pragma once

enum class MoveMode { PassThrough, AsideFails, IntoPlaceFails, IntoPlaceAndBackFail, HoldAfterAside };

void SetMoveMode(MoveMode mode);

#include <string>

// The progress window as the first folder rename found it (every file is
// written by then): "caption|status|position|range end", empty when no
// window of the setup program's class was up.
const std::wstring& ProgressAtFirstMove();
