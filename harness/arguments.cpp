#include "arguments.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

bool ParseNumber(const char* text, long least, long* value, long most) {
    // Digits only: strtol alone would also take leading spaces, a sign, and clamp what overflows.
    if (text[0] == '\0' || strspn(text, "0123456789") != strlen(text)) return false;
    errno = 0;
    const long parsed = strtol(text, nullptr, 10);
    if (errno != 0 || parsed < least || parsed > most) return false;
    *value = parsed;
    return true;
}
