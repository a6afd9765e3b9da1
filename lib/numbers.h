// Numbers written as text: on the command lines, in a regions list and in
// a manifest, one grammar.
#ifndef SNDTOOLS_NUMBERS_H
#define SNDTOOLS_NUMBERS_H

#include <cstdint>

namespace sndtools {

// The n bytes of text as a number: decimal digits (a leading 0 is no octal
// prefix), or, where hex is allowed, hexadecimal ones after a lower-case
// "0x". False for an empty text, "0x" alone, any other character and a
// value above most (at most 2^32 - 1).
bool read_number(const char *text, int64_t n, bool hex, int64_t most, int64_t *value);

// A command line's number (a NUL-terminated text, hex allowed, below 2^32)
// as 32 bits: from 2^31 on it reads negative, and the programs refuse it as
// too large, as typed.
bool number_understood(const char *text, int *value);

// strtod rounded to a 32-bit float; false when that is zero.
bool amplification_understood(const char *text, float *value);

} // namespace sndtools

#endif
