// The setup program's version, defined once. The version resource
// (res/setup.rc) and the texts and registration (base/product.h) take it
// from here, and the build reads the numbers for quro-pack's own version.
// Plain macros, because the resource compiler reads this file too.
#pragma once

#define QURO_VERSION_MAJOR 0
#define QURO_VERSION_MINOR 76
#define QURO_VERSION_NUMBERS QURO_VERSION_MAJOR, QURO_VERSION_MINOR, 0, 0
// What the user reads, in the questions and the list of installed programs.
#define QURO_PRODUCT_VERSION "0J.76"
