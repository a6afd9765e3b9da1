// Nanoseconds per sample or frame of each step of both signal paths, on
// buffers already in memory, one thread (items processed = samples or
// frames): the level scans, the decoder, the frame placement, the
// implanter's resampling and the encoder; and, beside the fast steps, the
// literal readings the tests check them against.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "codec.h"
#include "frames.h"
#include "implant.h"
#include "reference.h"
#include "search.h"
#include "sinc.h"

using namespace sndtools;

namespace {

const int64_t bench_bytes = 1 << 20; // 2^21 samples

std::vector<unsigned char> random_bytes(size_t n)
{
    std::mt19937 rng(1);
    std::vector<unsigned char> bytes(n);
    for (unsigned char &b : bytes)
        b = static_cast<unsigned char>(rng());
    return bytes;
}

// The implanter's level scan: frame sums, then their bounds, per frame.
void bm_scan_frames(benchmark::State &state)
{
    std::vector<unsigned char> wav = random_bytes(4 * 4096);
    std::vector<int32_t> sums(4096);
    for (auto _ : state) {
        int32_t hi = 0, lo = 65535;
        sum_frames(wav.data(), 4096, sums.data());
        scan_values(sums.data(), 4096, &hi, &lo);
        benchmark::DoNotOptimize(hi);
        benchmark::DoNotOptimize(lo);
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}

// The decoder, as both the extractor's level pass and its placement run
// it, per sample; and the code-by-code reference.
template <bool literal> void bm_decode(benchmark::State &state)
{
    std::vector<unsigned char> bytes = random_bytes(bench_bytes);
    std::vector<int32_t> samples(2 * bench_bytes);
    for (auto _ : state) {
        ad_state s{0, 0};
        if (literal) {
            for (int64_t j = 0; j < bench_bytes; j++) {
                samples[2 * j] = decode(&s, bytes[j] >> 4);
                samples[2 * j + 1] = decode(&s, bytes[j] & 15);
            }
        } else {
            decode_region(&s, bytes.data(), bench_bytes, high_nibble_first, samples.data());
        }
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * bench_bytes);
}

// The encoder's chain, per sample; and the code-by-code reference.
template <bool literal> void bm_encode(benchmark::State &state)
{
    std::vector<int32_t> samples = decoded(random_bytes(bench_bytes));
    std::vector<unsigned char> bytes(bench_bytes);
    for (auto _ : state) {
        ad_state s{0, 0};
        if (literal) {
            for (int64_t j = 0; j < bench_bytes; j++) {
                unsigned hi = encode(&s, samples[2 * j]);
                bytes[j] = static_cast<unsigned char>((hi << 4) | encode(&s, samples[2 * j + 1]));
            }
        } else {
            encode_region(&s, samples.data(), bench_bytes, high_nibble_first, bytes.data());
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * bench_bytes);
}

// The encoder on every core, on speech-like samples, per sample: the
// argument is the threads (1: the plain chain, batch after batch).
void bm_encode_threads(benchmark::State &state)
{
    const int threads = static_cast<int>(state.range(0));
    std::vector<int32_t> samples = speech_like(8 << 20, 7);
    for (auto _ : state) {
        std::vector<unsigned char> bytes = encoded_in_batches(samples, threads, 256 << 10);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(samples.size()));
}

// The searching encoder on speech-like samples (in Q8), per sample, one
// thread: the arguments are the paths per step index and the codes tried per
// path; the counter is its gain in signal-to-noise over the nearest code.
void bm_search(benchmark::State &state)
{
    std::vector<int32_t> targets = speech_like(1 << 17, 7), rounded = targets;
    for (int32_t &t : targets)
        t *= 256;
    const int64_t len = int64_t(targets.size()) / 2;
    std::vector<unsigned char> bytes(static_cast<size_t>(len));
    search_shape shape;
    shape.paths = static_cast<int>(state.range(0));
    shape.codes = static_cast<int>(state.range(1));
    search_energy e{0, 0};
    for (auto _ : state) {
        e = search_encode(targets.data(), len, high_nibble_first, bytes.data(), shape);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * len);
    ad_state s{0, 0};
    encode_region(&s, rounded.data(), len, high_nibble_first, bytes.data());
    s = ad_state{0, 0};
    decode_region(&s, bytes.data(), len, high_nibble_first, rounded.data());
    double nearest = 0;
    for (size_t i = 0; i < targets.size(); i++)
        nearest += std::pow(rounded[i] * 256.0 - targets[i], 2);
    state.counters["gain_dB"] = 10 * std::log10(nearest / e.error);
}

// Frame placement from 8000 Hz to 44100 Hz with the multiplier of a typical
// sound, per frame, decoding included; and the literal reading over decoded
// samples.
template <bool literal> void bm_place_frames(benchmark::State &state)
{
    std::vector<unsigned char> region = random_bytes(bench_bytes);
    std::vector<int32_t> samples = decoded(region);
    int64_t frames = static_cast<int64_t>(samples.size()) * 44100 / 8000 - 8;
    std::vector<unsigned char> out(4 * frames);
    static frame_plan plan;
    std::vector<int32_t> window(decode_window_samples);
    frame_job job{region.data(), bench_bytes, high_nibble_first, 8000, 44100, 12.0137f,
                    frames, 1};
    plan_frames(&plan, &job, nullptr);
    for (auto _ : state) {
        if (literal) {
            resample_frames_plain(samples.data(), static_cast<int64_t>(samples.size()), 8000,
                                  44100, 12.0137f, out.data(), frames);
        } else {
            frame_stream s;
            frame_stream_start(&s, &plan, window.data(), decode_window_samples, 0);
            frame_stream_next(&s, out.data(), frames);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

// The same past position 2^23, where every position is whole and a frame is
// its sample's, scaled: per frame, decoding included.
void bm_place_whole_frames(benchmark::State &state)
{
    std::vector<unsigned char> region = random_bytes(8 << 20);
    const int64_t first = int64_t(47) << 20, frames = 8 << 20;
    frame_job job{region.data(), int64_t(region.size()), high_nibble_first, 8000, 44100,
                    12.0137f, first + frames, 1};
    std::vector<int32_t> window(decode_window_samples);
    std::vector<unsigned char> out(4 * frames);
    static frame_plan plan;
    plan_frames(&plan, &job, nullptr);
    // The decoder's states as the level pass keeps them.
    std::vector<ad_state> states(region.size() / state_stride + 1);
    ad_state s{0, 0};
    std::vector<int32_t> scratch(2 * state_stride);
    for (size_t at = 0; at < region.size(); at += state_stride) {
        states[at / state_stride] = s;
        decode_region(&s, region.data() + at, state_stride, high_nibble_first, scratch.data());
    }
    plan.states = states.data();
    for (auto _ : state) {
        frame_stream fs;
        frame_stream_start(&fs, &plan, window.data(), decode_window_samples, first);
        frame_stream_next(&fs, out.data(), frames);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

// The implanter's resampling from 44100 Hz to 8000 Hz, per sample, frame
// sums included; and the literal reading.
template <bool literal> void bm_resample(benchmark::State &state)
{
    const int64_t frames = 4410000, count = frames * 8000 / 44100 - 4;
    std::vector<unsigned char> wav = random_bytes(4 * static_cast<size_t>(frames));
    const int64_t window_frames = 64 * 1024; // as the implanter's second reading
    std::vector<int32_t> out(count), sums(window_frames);
    for (auto _ : state) {
        if (literal) {
            resample_input_plain(wav.data(), frames, 44100, 8000, 15.9995f, out.data(), count);
        } else {
            window w;
            memory_source held;
            byte_source source = source_of_memory(&held, wav.data(), int64_t(wav.size()));
            window_over_frames(&w, &source, frames, sums.data(), window_frames);
            position_walk walk;
            walk_start(&walk, 0, 44100, 8000);
            resample_frames(&w, &walk, count, 15.9995f, out.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// The band-limited resampler of --best, per output sample, one thread,
// between the arguments' rates (7576 Hz: interpolated phases).
void bm_sinc(benchmark::State &state)
{
    const int from = static_cast<int>(state.range(0)), to = static_cast<int>(state.range(1));
    sinc_resampler r;
    make_sinc_resampler(from, to, &r);
    const int64_t count = 1 << 18, n = count * from / to;
    std::vector<int32_t> x(static_cast<size_t>(n)), out(count);
    std::mt19937 rng(1);
    for (int32_t &v : x)
        v = static_cast<int32_t>(rng() % (1 << 20)) - (1 << 19);
    for (auto _ : state) {
        sinc_resample(r, x.data(), 0, n, 0, count, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(bm_scan_frames);
BENCHMARK_TEMPLATE(bm_decode, false);
BENCHMARK_TEMPLATE(bm_decode, true);
BENCHMARK_TEMPLATE(bm_place_frames, false);
BENCHMARK_TEMPLATE(bm_place_frames, true);
BENCHMARK(bm_place_whole_frames);
BENCHMARK_TEMPLATE(bm_resample, false);
BENCHMARK_TEMPLATE(bm_resample, true);
BENCHMARK_TEMPLATE(bm_encode, false);
BENCHMARK_TEMPLATE(bm_encode, true);
BENCHMARK(bm_encode_threads)->Arg(1)->Arg(2)->UseRealTime();
BENCHMARK(bm_search)->ArgsProduct({{2, 3}, {4}})->Unit(benchmark::kMillisecond);
BENCHMARK(bm_sinc)->Args({22050, 7575})->Args({44100, 7575})->Args({44100, 7576});

} // namespace

BENCHMARK_MAIN();
