// A unit that reaches up a layer, and lists a lower layer's header after it,
// for the check to catch both.
#include "install/locations.h"
#include "base/product.h"
