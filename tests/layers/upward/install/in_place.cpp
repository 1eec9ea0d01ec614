// A unit in its place.
#include "ui/texts.h"
