#pragma once

enum class MoveMode { PassThrough, AsideFails, IntoPlaceFails, IntoPlaceAndBackFail, HoldAfterAside };

void SetMoveMode(MoveMode mode);
