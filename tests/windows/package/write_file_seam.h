// This test program's own WriteFileCall: it records every chunk that
// extraction hands to WriteFile and can make one come out short or fail.
#pragma once

#include <windows.h>

#include <vector>

namespace write_seam {
enum class Mode { Pass, Short, Fail };
extern Mode mode;
extern std::vector<DWORD> chunks;  // the length of each call, in order
void Reset();
}  // namespace write_seam
