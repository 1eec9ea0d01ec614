#include "remove/removal.h"

// Placeholder until removal lands.
int RunRemoval(bool) { return 1; }
