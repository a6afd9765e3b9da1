// Numbers from the command line.
#ifndef CLI_NUMBERS_H
#define CLI_NUMBERS_H

// Decimal, or hexadecimal after a lower-case "0x". Wraps modulo 2^32 without
// complaint. Stores the value scanned so far in *value in every case; returns
// 0 when the whole text was understood, 1 at the first character that is not.
int num_param(const char *text, int *value);

// num_param, and also false for an empty text, "0x" alone and a number of
// 2^32 or more, each of which would aim at the wrong place without a word.
// Numbers from 2^31 on keep num_param's negative reading.
bool number_understood(const char *text, int *value);

// strtod rounded to a 32-bit float; false when that is zero.
bool amplification_understood(const char *text, float *value);

#endif
