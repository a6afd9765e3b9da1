#include "best.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <thread>
#include <vector>

#include "search.h"
#include "sinc.h"

namespace sndtools {

namespace {

// Output samples made and searched at a time: the input they reach stays
// small however long the region.
const int64_t block_samples = 64 * 1024;

// Three paths a step index, four codes a path: +2.9 dB over the nearest
// codes on speech at a quarter of a million samples a second (bench/README.md).
const search_shape shape{3, 4, 1024};

// Fixed point of the samples between the steps: value x 256.
const double q8 = 256.0;
// Well past the codec's 12-bit range, and far from overflowing anything;
// the search takes targets up to 2^24.
const int32_t largest_q8 = int32_t(1) << 27, largest_target = int32_t(1) << 20;

int32_t clamp_q8(double v)
{
    if (!(v == v))
        return 0;
    v = std::floor(v + 0.5);
    return v >= largest_q8 ? largest_q8 : v <= -largest_q8 ? -largest_q8 : int32_t(v);
}

// Frames from..to-1 (silence past the data), each the sum of its two
// samples times the one scale, 256 / (2 x multiplier), in fixed point: the
// same everywhere.
bool read_frames(const implant_job &job, float multiplier, int64_t from, int64_t to,
                 std::vector<int32_t> *x, std::vector<unsigned char> *bytes)
{
    x->assign(size_t(to - from), 0);
    const int64_t frames = job.data_size / 4, first = std::max<int64_t>(from, 0),
                  end = std::min(to, frames);
    if (first >= end)
        return true;
    bytes->resize(size_t(4 * (end - first)));
    if (job.wav->read_at(job.wav->context, 4 * first, bytes->data(), int64_t(bytes->size())) !=
        int64_t(bytes->size()))
        return false;
    const double scale = q8 / 2.0 / double(multiplier);
    for (int64_t f = first; f < end; f++) {
        const unsigned char *b = &(*bytes)[size_t(4 * (f - first))];
        const int32_t left = int16_t(uint16_t(b[0] | b[1] << 8)),
                      right = int16_t(uint16_t(b[2] | b[3] << 8));
        (*x)[size_t(f - from)] = clamp_q8(double(left + right) * scale);
    }
    return true;
}

// One block's targets: its frames read, resampled and brought to the
// search's range; its own buffers, so that the next block is made on
// another thread while this one is searched.
struct block_maker {
    const implant_job *job;
    float multiplier;
    const sinc_resampler *resampler;
    std::vector<int32_t> x, targets;
    std::vector<unsigned char> bytes;
    bool read = true, memory = true;

    void make(int64_t first, int64_t n) // (on a thread of its own: nothing escapes)
    {
        try {
            make_targets(first, n);
        } catch (const std::bad_alloc &) {
            memory = false;
        }
    }

    void make_targets(int64_t first, int64_t n)
    {
        int64_t from, to;
        sinc_input_span(*resampler, first, n, &from, &to);
        read = read_frames(*job, multiplier, from, to, &x, &bytes);
        targets.resize(size_t(n));
        if (!read)
            return;
        sinc_resample(*resampler, x.data(), from, to - from, first, n, targets.data());
        for (int32_t &t : targets) // the search's range, still far past the codec's
            t = std::clamp(t, -largest_target, largest_target);
    }
};

// A thread joined however the block ends (a refusal unwinding past it too).
struct joined_thread {
    std::thread thread;
    ~joined_thread()
    {
        if (thread.joinable())
            thread.join();
    }
};

// The search, ended (its last codes written) however the road ends.
struct search_owner {
    search_state *state;
    ~search_owner()
    {
        if (state != nullptr)
            search_end(state);
    }
};

} // namespace

snd_status best_encode(const implant_job &job, float multiplier, unsigned char *region,
                       float *snr) try {
    const int64_t count = 2 * job.sample_len;
    sinc_resampler resampler;
    if (!make_sinc_resampler(job.wav_rate, job.adpcm_rate, &resampler)) // checked before
        return snd_status_of(snd_bad_wav_rate, 0, job.wav_rate);
    // Blocks of about 64 Ki samples in and out, however far the rates lie apart.
    const int64_t block = std::clamp<int64_t>(block_samples * resampler.den / resampler.num,
                                              1024, block_samples);
    block_maker makers[2] = {{&job, multiplier, &resampler, {}, {}, {}, true, true},
                             {&job, multiplier, &resampler, {}, {}, {}, true, true}};
    // Taken before a thread may need them: a thread never runs short.
    for (block_maker &m : makers) {
        int64_t from, to;
        sinc_input_span(resampler, 0, std::min(count, block), &from, &to);
        m.x.reserve(size_t(to - from + 16));
        m.bytes.reserve(size_t(4 * (to - from + 16)));
        m.targets.reserve(size_t(std::min(count, block)));
    }
    search_owner search{search_start(job.order, region, shape)};
    bool read = true;
    if (count > 0)
        makers[0].make(0, std::min(count, block));
    for (int64_t j = 0, k = 0; j < count && read; j += block, k ^= 1) {
        // With a second thread, the next block is made while this one is
        // searched; the same targets either way.
        const int64_t next = j + block, n = std::min(block, count - next);
        joined_thread maker;
        if (next < count && job.threads >= 2) {
            try {
                maker.thread =
                    std::thread([&makers, k, next, n] { makers[k ^ 1].make(next, n); });
            } catch (const std::exception &) { // no thread: made below
            }
        }
        if (!makers[k].memory)
            throw std::bad_alloc();
        read = makers[k].read;
        if (read)
            search_feed(search.state, makers[k].targets.data(),
                        int64_t(makers[k].targets.size()));
        if (maker.thread.joinable())
            maker.thread.join();
        else if (next < count)
            makers[k ^ 1].make(next, n);
    }
    const search_energy energy = search_end(search.state);
    search.state = nullptr;
    if (!read)
        return snd_status_of(snd_reread_short);
    // (A silent sound has none: 0.)
    *snr = energy.target == 0 ? 0.0f
           : energy.error > 0 ? float(10.0 * std::log10(energy.target / energy.error))
                              : 999.0f;
    return snd_status_of(snd_ok);
} catch (const std::bad_alloc &) {
    return snd_status_of(snd_no_memory);
}

} // namespace sndtools
