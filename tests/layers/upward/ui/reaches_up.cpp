// A unit that reaches up a layer, for the check to catch.
#include "install/locations.h"
