// File names on Windows, where the system holds them as UTF-16 and the
// programs hold them as UTF-8. An unpaired surrogate, which a Windows name
// may contain, is carried through as its three-byte form (as WTF-8 does),
// so that every name comes back to the same UTF-16.
#ifndef UTF8_H
#define UTF8_H

#include <string>

std::string utf8_of(const std::u16string &text);

// The inverse of utf8_of; any byte that is no part of a valid sequence
// becomes U+FFFD.
std::u16string utf16_of(const std::string &text);

// How many bytes of text end with a whole sequence: all of them, unless the
// last sequence is cut short (text read in pieces).
size_t utf8_whole_length(const std::string &text);

#endif
