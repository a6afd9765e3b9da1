// The literal readings the library's fast forms are checked against, for
// the tests, the fuzz targets and the benchmarks (built without
// GoogleTest): the codec code by code, the resampling one extended-precision
// position and value per output, and the whole paths made of them; and the
// extractor's path as the program runs it, to compare others with.
#ifndef REFERENCE_H
#define REFERENCE_H

#include <cstdint>
#include <vector>

#include "codec.h"
#include "batches.h"
#include "implant.h"

// Turns one code (0..15) into the next sample and advances the state.
int32_t decode(sndtools::ad_state *state, uint8_t code);

// Picks the code whose reconstruction lands nearest to sample, advances the
// state exactly as decode would for that code, and returns the code.
uint8_t encode(sndtools::ad_state *state, int32_t sample);

// Prints count bytes (rounded up to whole lines of 16) as hex lines.
void hexdump(const unsigned char *data, int count);

// frames_count frames of samples, each position and value computed
// literally; past the last sample the signal holds its final value.
void resample_frames_plain(const int32_t *samples, int64_t count, int rate_in, int rate_out,
                           float multiplier, unsigned char *frames, int64_t frames_count);

// count samples of WAV frames (frames past frames_count are silence).
void resample_input_plain(const unsigned char *wav, int64_t frames_count, int rate_in,
                          int rate_out, float multiplier, int32_t *samples, int64_t count);

// A region decoded code by code from the start state.
std::vector<int32_t> decoded(const std::vector<unsigned char> &region);

// Samples encoded code by code from the start state, two to a byte.
std::vector<unsigned char> encoded(const std::vector<int32_t> &samples);

// The WAV file the library's extraction makes of a region, as sndextract
// writes it (a multiplier of 0: the automatic one).
std::vector<unsigned char> written_wav(const std::vector<unsigned char> &region,
                                       sndtools::nibble_order order, int rate_in, int rate_out,
                                       float multiplier, int threads);

// An implant of the whole of wav's data into len bytes at these rates, by
// the multiplier (0: the automatic one).
sndtools::implant_job job_of(sndtools::byte_source *wav, int wav_rate, int adpcm_rate,
                             float multiplier, int64_t len, int threads);

// The region the library's implant makes of WAV frames held in memory, as
// sndimplant writes it (a multiplier of 0: the automatic one); *code
// receives the job's outcome.
std::vector<unsigned char> implanted_region(const std::vector<unsigned char> &frames,
                                            int rate_in, int rate_out, float multiplier,
                                            int64_t len, int threads, int *code);

// n 12-bit samples like speech at 8000 Hz: voiced syllables of a few
// harmonics of a gliding pitch under an envelope, with noise and short
// pauses between them.
std::vector<int32_t> speech_like(int64_t n, uint32_t seed);

// Samples held in memory as batches of batch_bytes bytes, for the encoder on
// every core, each batch's warm-up from up to warm_up samples before it.
struct memory_samples {
    const int32_t *samples;
    int64_t count, batch_bytes, warm_up;

    bool acquire(int, int64_t b, sndtools::sample_batch *batch) const
    {
        int64_t first = 2 * b * batch_bytes;
        int64_t stop = count - first < 2 * batch_bytes ? count : first + 2 * batch_bytes;
        *batch = sndtools::sample_batch{first, stop, first < warm_up ? 0 : first - warm_up,
                                        stop == count};
        return true;
    }
    template <typename sink_fn>
    bool make(int, const sndtools::sample_batch &, int64_t from, int64_t to, sink_fn &sink) const
    {
        for (int64_t i = from; i < to; i++)
            sink(i, samples[i]);
        return true;
    }
};

// The region of samples encoded by the encoder on every core, batches of
// batch_bytes on threads threads (the plan the implanter's, or another).
std::vector<unsigned char> encoded_in_batches(const std::vector<int32_t> &samples, int threads,
                                              int64_t batch_bytes,
                                              sndtools::batch_counts *counts = nullptr,
                                              sndtools::batch_plan plan = sndtools::batch_plan());

#endif
