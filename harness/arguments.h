// Command-line values of the tools and benchmarks.
#ifndef BRIMVALK_HARNESS_ARGUMENTS_H
#define BRIMVALK_HARNESS_ARGUMENTS_H

#include <limits.h>

// A whole number from `least` to `most`, in decimal digits and nothing else (no sign, no spaces);
// false leaves `value` alone.
bool ParseNumber(const char* text, long least, long* value, long most = LONG_MAX);

#endif
