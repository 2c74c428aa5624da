// The identifiers of the interfaces, classes and library, defined once for the module.
#include "ZELUSB_i.c"
