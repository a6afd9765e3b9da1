// The line of help before sndbank refuses a WAV file: what the file is or
// holds and, where sox can make a WAV file of it, the command that puts the
// converted file in its place.
#ifndef CLI_WAV_KIND_LINE_H
#define CLI_WAV_KIND_LINE_H

#include <cstdint>
#include <string>

#include "wav_read.h"

// The path as one word for a POSIX shell: in double quotes, or in single
// quotes where double ones would expand it ("$", "`", "\", "!" or a double
// quote in it); a path that starts with "-" gets "./" before it, so that no
// program takes it for an option.
std::string shell_quoted(const std::string &path);

// For the file's size bytes, which read_wav_sound found of that kind
// (sound as it left it). rate_hint: the phrase's rate, given for a file
// whose own rate cannot be (readable otherwise). Ends in "\n".
std::string wav_kind_line(const char *path, sndtools::wav_kind kind,
                          const sndtools::wav_sound &sound, const unsigned char *file,
                          int64_t size, int rate_hint);

#endif
