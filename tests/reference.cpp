#include "reference.h"

#include <cmath>
#include <cstdio>

#include "extract.h"
#include "fields.h"
#include "frames.h"
#include "implant.h"
#include "walk.h"

using namespace sndtools;

// The difference a code's magnitude bits stand for: successive halvings of
// the step, plus step >> 3 always.
static int32_t code_difference(uint8_t code, int32_t step)
{
    int32_t diff = 0;
    if (code & 4)
        diff += step;
    step >>= 1;
    if (code & 2)
        diff += step;
    step >>= 1;
    if (code & 1)
        diff += step;
    step >>= 1;
    diff += step;
    return diff;
}

// Moves the state as the decoder does for one code, given the step taken
// from the index before this code.
static void apply_code(ad_state *s, uint8_t code, int32_t step)
{
    int32_t diff = code_difference(code, step);
    if (code & 8)
        diff = -diff;
    s->ad_sample += diff;
    if (s->ad_sample < -2048)
        s->ad_sample = -2048;
    else if (s->ad_sample > 2047)
        s->ad_sample = 2047;
    s->ad_ref_index += ad_ref_index_step_table[code & 15];
    if (s->ad_ref_index < 0)
        s->ad_ref_index = 0;
    else if (s->ad_ref_index > 48)
        s->ad_ref_index = 48;
}

int32_t decode(ad_state *state, uint8_t code)
{
    apply_code(state, code, ad_ref_table[state->ad_ref_index]);
    return state->ad_sample;
}

uint8_t encode(ad_state *state, int32_t sample)
{
    const int32_t step = ad_ref_table[state->ad_ref_index];
    int32_t delta = sample - state->ad_sample;
    uint8_t code = 0;
    if (delta < 0) {
        code = 8;
        delta = -delta;
    }
    int32_t best_distance = 0x7FFF;
    uint8_t best_magnitude = 0;
    for (uint8_t m = 0; m < 8; m++) {
        int32_t distance = delta - code_difference(m, step);
        if (distance < 0)
            distance = -distance;
        if (distance < best_distance) {
            best_distance = distance;
            best_magnitude = m;
        }
    }
    code |= best_magnitude;
    apply_code(state, code, step);
    return code;
}

void hexdump(const unsigned char *data, int count)
{
    for (int offset = 0; offset < count; offset += 16) {
        printf("%4.4X: ", static_cast<unsigned>(offset));
        for (int i = 0; i < 16; i++)
            printf("%2.2X ", data[offset + i]);
        printf("\n");
    }
}

void resample_frames_plain(const int32_t *samples, int64_t count, int rate_in, int rate_out,
                           float multiplier, unsigned char *frames, int64_t frames_count)
{
    for (int64_t i = 0; i < frames_count; i++) {
        float pos = resample_position(i, rate_in, rate_out);
        int64_t k = static_cast<int64_t>(pos);
        float frac = pos - static_cast<float>(k);
        int32_t a = samples[k < count ? k : count - 1];
        int32_t b = samples[k + 1 < count ? k + 1 : count - 1];
        int32_t out = saturate_16(scaled_frame_value(a, b, frac, multiplier));
        implant_intval(frames + 4 * i, out, 2);
        implant_intval(frames + 4 * i + 2, out, 2);
    }
}

static int32_t frame_sum(const unsigned char *wav, int64_t frames_count, int64_t f)
{
    if (f >= frames_count)
        return 0;
    return grab_intval(wav + 4 * f, 2) + grab_intval(wav + 4 * f + 2, 2);
}

void resample_input_plain(const unsigned char *wav, int64_t frames_count, int rate_in,
                          int rate_out, float multiplier, int32_t *samples, int64_t count)
{
    for (int64_t i = 0; i < count; i++) {
        float pos = resample_position(i, rate_in, rate_out);
        int64_t k = static_cast<int64_t>(pos);
        float frac = pos - static_cast<float>(k);
        samples[i] = saturate_for_encode(scaled_sample_value(
            frame_sum(wav, frames_count, k), frame_sum(wav, frames_count, k + 1), frac,
            multiplier));
    }
}

std::vector<int32_t> decoded(const std::vector<unsigned char> &region)
{
    std::vector<int32_t> samples;
    ad_state state{0, 0};
    for (unsigned char b : region) {
        samples.push_back(decode(&state, b >> 4));
        samples.push_back(decode(&state, b & 15));
    }
    return samples;
}

static bool append(void *context, const unsigned char *bytes, int64_t n)
{
    std::vector<unsigned char> *to = static_cast<std::vector<unsigned char> *>(context);
    to->insert(to->end(), bytes, bytes + n);
    return true;
}

std::vector<unsigned char> written_wav(const std::vector<unsigned char> &region,
                                       nibble_order order, int rate_in, int rate_out,
                                       float multiplier, int threads)
{
    std::vector<unsigned char> wav;
    byte_sink out{&wav, append};
    extract_job job;
    job.region = region.data();
    job.sample_len = static_cast<int64_t>(region.size());
    job.order = order;
    job.adpcm_rate = rate_in;
    job.wav_rate = rate_out;
    job.amplification_given = multiplier != 0;
    job.amplification = multiplier;
    job.threads = threads;
    if (extract_wav(&job, &out, nullptr).code != snd_ok)
        wav.clear();
    return wav;
}

implant_job job_of(byte_source *wav, int wav_rate, int adpcm_rate, float multiplier,
                   int64_t len, int threads)
{
    implant_job job;
    job.wav = wav;
    job.data_size = wav->size;
    job.wav_rate = wav_rate;
    job.adpcm_rate = adpcm_rate;
    job.amplification_given = multiplier != 0;
    job.amplification = multiplier;
    job.sample_len = len;
    job.threads = threads;
    return job;
}

std::vector<unsigned char> implanted_region(const std::vector<unsigned char> &frames,
                                            int rate_in, int rate_out, float multiplier,
                                            int64_t len, int threads, int *code)
{
    std::vector<unsigned char> region(static_cast<size_t>(len));
    memory_source held;
    byte_source wav = source_of_memory(&held, frames.data(), static_cast<int64_t>(frames.size()));
    implant_job job = job_of(&wav, rate_in, rate_out, multiplier, len, threads);
    *code = implant_wav(&job, region.data(), nullptr).code;
    return region;
}

std::vector<int32_t> speech_like(int64_t n, uint32_t seed)
{
    std::vector<int32_t> samples(static_cast<size_t>(n));
    uint32_t x = seed;
    double phase = 0;
    for (int64_t i = 0; i < n; i++) {
        x = x * 1664525u + 1013904223u;
        int64_t syllable = i % 2400; // 0.3 s at 8000 Hz, the last sixth a pause
        double envelope = syllable < 2000 ? std::sin(3.14159265 * double(syllable) / 2000) : 0;
        double pitch = 110 + 40 * std::sin(double(i) / 3000.0 + seed);
        phase += 6.2831853 * pitch / 8000;
        double voice = std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.3 * std::sin(3 * phase);
        double noise = (double(x >> 16) / 65536.0 - 0.5) * 0.1;
        samples[size_t(i)] = static_cast<int32_t>(1100 * envelope * voice + 200 * noise);
    }
    return samples;
}

std::vector<unsigned char> encoded_in_batches(const std::vector<int32_t> &samples, int threads,
                                              int64_t batch_bytes, batch_counts *counts,
                                              batch_plan plan)
{
    std::vector<unsigned char> bytes(samples.size() / 2);
    memory_samples source{samples.data(), int64_t(bytes.size()) * 2, batch_bytes, plan.warm_up};
    encode_batches(threads, source, high_nibble_first, bytes.data(), plan, counts);
    return bytes;
}

std::vector<unsigned char> encoded(const std::vector<int32_t> &samples)
{
    std::vector<unsigned char> bytes(samples.size() / 2);
    ad_state state{0, 0};
    for (size_t j = 0; j < bytes.size(); j++) {
        int hi = encode(&state, samples[2 * j]);
        bytes[j] = static_cast<unsigned char>((hi << 4) | encode(&state, samples[2 * j + 1]));
    }
    return bytes;
}
