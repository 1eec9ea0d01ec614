#pragma once

namespace quro {

// The two questions, the clean-up call and the deletions; returns 0, 1 or 2.
int RunRemovalSequence(bool isTemporaryCopy);

}  // namespace quro
