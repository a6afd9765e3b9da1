// The one WAV form both programs know: a 44-byte header (RIFF, a 16-byte
// "fmt " chunk, the "data" chunk header) followed by 16-bit stereo frames.
#ifndef WAV_HEADER_H
#define WAV_HEADER_H

#include <cstdio>

const int wav_header_size = 44;

// Sample data is read in pieces of this many bytes, each scanned while it is
// still in the cache.
const int wav_read_piece = 256 * 1024;

// Outcomes of reading and checking a header, in the order they are checked.
enum wav_check {
    wav_ok,
    wav_too_short,  // the file ended before 44 bytes
    wav_not_riff,   // one of the four tags is wrong
    wav_fmt_length, // the format chunk is not 16 bytes
    wav_not_pcm,    // the format tag is not 1
    wav_not_16bit,  // bits per sample are not 16
    wav_not_stereo  // the channel count is not 2
};

// Sets all 44 bytes for frames 16-bit stereo frames at rate frames per second.
void fill_wav_header(unsigned char *hdr, int frames, int rate);

// A WAV file is written as the header, with the final sizes, then the
// frames in pieces, then one trailing zero byte. Each returns 0 when the
// write went through, 1 otherwise.
int write_wav_header(FILE *out, unsigned char *hdr, int frames_count, int rate);
int write_wav_end(FILE *out);

// Reads up to 44 bytes one at a time; returns how many were read.
int read_wav_header(FILE *in, unsigned char *hdr);

// Checks the first got bytes of a header; reads nothing past them.
wav_check check_wav_header(const unsigned char *hdr, int got);

// Prints the one-line message for a refused header.
void print_wav_refusal(wav_check outcome, const unsigned char *hdr, int got);

// The whole step: reads the header from the start of the stream into hdr,
// checks it and, when it is refused, prints that check's message. The
// stream is left at the first byte after the header.
wav_check read_and_check_wav_header(FILE *in, unsigned char *hdr);

int wav_sample_rate(const unsigned char *hdr);
int wav_data_size(const unsigned char *hdr);

#endif
