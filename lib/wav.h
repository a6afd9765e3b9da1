// The one WAV form both programs know: a 44-byte header (RIFF, a 16-byte
// "fmt " chunk, the "data" chunk header) followed by 16-bit stereo frames.
#ifndef SNDTOOLS_WAV_H
#define SNDTOOLS_WAV_H

#include "stream.h"

namespace sndtools {

const int wav_header_size = 44;

// Outcomes of checking a header, in the order they are checked; numbered
// as the C interface's error codes.
enum wav_check {
    wav_ok,
    wav_too_short = 4, // the file ended before 44 bytes
    wav_not_riff,   // one of the four tags is wrong
    wav_bad_fmt,    // the format chunk is not 16 bytes
    wav_not_pcm,    // the format tag is not 1
    wav_not_16bit,  // bits per sample are not 16
    wav_not_stereo  // the channel count is not 2
};

// Sets all 44 bytes for frames 16-bit stereo frames at rate frames per second.
void fill_wav_header(unsigned char *hdr, int frames, int rate);

// Reads up to 44 bytes; returns how many were read. The source is left at
// the first byte after them.
int read_wav_header(byte_source *in, unsigned char *hdr);

// Checks the first got bytes of a header; reads nothing past them.
wav_check check_wav_header(const unsigned char *hdr, int got);

int wav_sample_rate(const unsigned char *hdr);
int wav_data_size(const unsigned char *hdr);
int wav_format_length(const unsigned char *hdr);

} // namespace sndtools

#endif
