// How extraction tells whoever shows progress that another file is written:
// the package layer calls it, the interface layer makes it.
#pragma once

#include <cstdint>
#include <functional>

namespace quro {

// Told the number of files written so far; may be empty.
using ProgressCallback = std::function<void(std::int32_t)>;

}  // namespace quro
