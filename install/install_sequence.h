#pragma once

// The whole installation or update; returns the exit code (0, 2, 3 or 4).
int RunInstall();
