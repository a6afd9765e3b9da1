// The implanter's signal path: frame sums, level, multiplier and the
// resampling of the WAV frames into samples for the encoder.
#ifndef IMPLANT_PATH_H
#define IMPLANT_PATH_H

#include <cstdint>
#include <cstdio>

#include "params.h"

// Left plus right sample of frame f; frames from frames_count on are
// silence (the WAV ended before the region did).
inline int32_t frame_sum(const unsigned char *wav, int64_t frames_count, int64_t f)
{
    if (f >= frames_count)
        return 0;
    return grab_intval(wav + 4 * f, 2) + grab_intval(wav + 4 * f + 2, 2);
}

// Largest and smallest frame sum of frames 0..scan_count-1, starting at 0 and
// 65535.
void scan_frames(const unsigned char *wav, int64_t frames_count, int64_t scan_count,
                 int32_t *max_val, int32_t *min_val);

// The same scan in pieces: frames from..to-1, all inside the data, folded
// into the bounds so far; and one frame of silence folded in.
void scan_frames_into(const unsigned char *wav, int64_t from, int64_t to, int32_t *max_val,
                      int32_t *min_val);
void scan_silence(int32_t *max_val, int32_t *min_val);

// The larger excursion; with no measurable level, the one frame sum seen
// (0 when nothing was scanned).
int32_t implant_peak(int32_t max_val, int32_t min_val);

// peak / 4096 rounded to a 32-bit float; 16 when peak is 0.
float implant_multiplier(int32_t peak);

// The literal value of one sample before its conversion to an integer:
// (a + d) / (multiplier + multiplier), where d = (b - a) x frac rounded to a
// 32-bit float, the sum, the doubling and the quotient at extended precision
// and the quotient rounded to a 32-bit float.
float scaled_sample_value(int32_t a, int32_t b, float frac, float multiplier);

// The literal reading of the interpolation over all frames at once, kept
// as the reference.
void resample_input_plain(const unsigned char *wav, int64_t frames_count, int rate_in,
                          int rate_out, float multiplier, int32_t *samples,
                          int64_t count);

// A window onto the WAV's frames: frames base..end-1 of the data's
// frames_count are in bytes. Frames from frames_count on are silence.
// Refilled from in a piece at a time, each piece starting with the last
// frame of the one before, so that a sample whose two frames straddle
// pieces still finds both; with in null, bytes hold the whole data.
struct wav_window {
    FILE *in;
    unsigned char *bytes;
    int64_t capacity; // frames, at least 2
    int64_t base, end, frames_count;
};

// in is positioned at the first frame, or null with every frame in bytes.
void wav_window_start(wav_window *w, FILE *in, unsigned char *bytes, int64_t capacity,
                      int64_t frames_count);

// Same samples as resample_input_plain, from a window. Returns 0, or 1 when
// the input ended before a frame that was needed.
int resample_input(wav_window *w, int rate_in, int rate_out, float multiplier,
                   int32_t *samples, int64_t count);

// resample_input and then encode_samples of the 2 * len samples, in one
// pass: each sample goes to the encoder as it is made, so the samples are
// never held all at once, and the encoder's chain from sample to sample
// leaves room for the resampling work. Carries on from the codec state.
// Returns 0, or 1 when the input ended before a frame that was needed.
int resample_and_encode(wav_window *w, int rate_in, int rate_out, float multiplier,
                        unsigned char *bytes, int64_t len);

#endif
