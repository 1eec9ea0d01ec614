#pragma once

namespace quro {

// The whole installation or update; returns the exit code (0, 2, 3 or 4).
int RunInstall();

}  // namespace quro
