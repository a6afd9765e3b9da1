// The implanter's signal path: the level of a WAV file's frame sums, the
// multiplier, and the samples the encoder turns into the region, read from
// the WAV file a piece at a time, twice.
#ifndef SNDTOOLS_IMPLANT_H
#define SNDTOOLS_IMPLANT_H

#include <cstdint>
#include <cstdio>

#include "status.h"
#include "walk.h"

namespace sndtools {

// The WAV data is read in pieces of this many bytes, each scanned while it
// is still in the cache.
const int wav_read_piece = 256 * 1024;

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

// Truncation toward zero into the range the encoder accepts
// (magnitude below 2^31 - 2048); not-a-number gives 0.
inline int32_t saturate_for_encode(float value)
{
    const float limit = 2147481599.0f; // rounds to 2147481600, the float below 2^31 - 2048
    if (value != value)
        return 0;
    if (value >= limit)
        return 2147481599;
    if (value <= -limit)
        return -2147481599;
    return static_cast<int32_t>(value);
}

// The data chunk of a WAV file: size bytes from the input's position on.
// An input whose size cannot be told (a pipe) cannot be read twice either:
// its data is then held whole from the first reading. With in null, the
// data is in memory already, at held.
struct wav_data {
    FILE *in;
    int64_t file_size; // of the whole input, or -1
    int64_t size;
    unsigned char *held; // taken by wav_level when it reads a pipe, freed by the caller
};

// What an implant holds besides the region, taken as one block, for up to
// threads threads on size bytes of WAV data: null when memory is short,
// with *size the bytes asked for.
struct implant_work;
implant_work *take_implant_work(int threads, int64_t data_size, int64_t *size);
void free_implant_work(implant_work *work);

// First reading: the whole data chunk, which must all be there (a size past
// the end of the file is refused from the file's size before anything is
// read), and the largest and smallest frame sum of frames
// 0..scan_count-1, starting at 0 and 65535; frames past the data are
// silence. With threads, pieces are scanned while the next are read.
snd_status wav_level(implant_work *work, wav_data *data, int64_t scan_count, int32_t *max_val,
                     int32_t *min_val);

// An implant: how the WAV file plays, the multiplier that divides its frame
// sums, and the region the samples are encoded into.
struct implant_job {
    int rate_in, rate_out;
    float multiplier;
    unsigned char *region;
    int64_t len;
    nibble_order order;
};

// Samples walk->i..stop-1 of the WAV frames in the window, stored from
// samples[0]: each the interpolated frame sum divided by twice the
// multiplier. False when the file ends before a frame that is needed.
bool resample_frames(window *w, position_walk *walk, int64_t stop, float multiplier,
                     int32_t *samples);

// Second reading, from the first frame again (or from the held data),
// window_frames (at most wav_read_piece / 4) at a time: the samples,
// encoded into the job's region, by this thread or, with threads, by
// another while this one encodes.
snd_status encode_wav(implant_work *work, int64_t window_frames, wav_data *data,
                      const implant_job *job);

} // namespace sndtools

#endif
