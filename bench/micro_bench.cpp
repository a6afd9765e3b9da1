// Nanoseconds per sample of the codec and of each resampling loop, on
// buffers that are already in memory (items processed = samples or frames).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "codec.h"
#include "extract.h"
#include "implant.h"
#include "reference.h"

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

std::vector<int32_t> decoded_samples()
{
    return decoded(random_bytes(bench_bytes));
}

void bm_decode_per_code(benchmark::State &state)
{
    std::vector<unsigned char> bytes = random_bytes(bench_bytes);
    std::vector<int32_t> samples(2 * bench_bytes);
    for (auto _ : state) {
        ad_state s{0, 0};
        for (int64_t j = 0; j < bench_bytes; j++) {
            samples[2 * j] = decode(&s, bytes[j] >> 4);
            samples[2 * j + 1] = decode(&s, bytes[j] & 15);
        }
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * bench_bytes);
}

void bm_decode_region(benchmark::State &state)
{
    std::vector<unsigned char> bytes = random_bytes(bench_bytes);
    std::vector<int32_t> samples(2 * bench_bytes);
    for (auto _ : state) {
        ad_state s{0, 0};
        decode_region(&s, bytes.data(), bench_bytes, high_nibble_first, samples.data());
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * bench_bytes);
}

void bm_encode_per_sample(benchmark::State &state)
{
    std::vector<int32_t> samples = decoded_samples();
    std::vector<unsigned char> bytes(bench_bytes);
    for (auto _ : state) {
        ad_state s{0, 0};
        for (int64_t j = 0; j < bench_bytes; j++) {
            unsigned hi = encode(&s, samples[2 * j]);
            bytes[j] = static_cast<unsigned char>((hi << 4) | encode(&s, samples[2 * j + 1]));
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * bench_bytes);
}

void bm_encode_region(benchmark::State &state)
{
    std::vector<int32_t> samples = decoded_samples();
    std::vector<unsigned char> bytes(bench_bytes);
    for (auto _ : state) {
        ad_state s{0, 0};
        encode_region(&s, samples.data(), bench_bytes, high_nibble_first, bytes.data());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(state.iterations() * 2 * bench_bytes);
}

// Extraction from 8000 Hz to 44100 Hz, with the multiplier of a typical
// sound (full 24-bit mantissa): the literal reading over decoded samples,
// and the frame stream over the region (decoding included).
template <bool plain>
void bm_resample_frames(benchmark::State &state)
{
    std::vector<unsigned char> region = random_bytes(bench_bytes);
    std::vector<int32_t> samples = decoded(region);
    int64_t frames = static_cast<int64_t>(samples.size()) * 44100 / 8000 - 8;
    std::vector<unsigned char> out(4 * frames);
    static extract_plan plan;
    std::vector<int32_t> window(decode_window_samples);
    extract_job job{region.data(), bench_bytes, high_nibble_first, 8000, 44100, 12.0137f,
                    frames, 1};
    plan_frames(&plan, &job, nullptr);
    for (auto _ : state) {
        if (plain) {
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

// Implanting a 44100 Hz WAV into an 8000 Hz region: the literal samples,
// and the fused pass from data held in memory (encoding included).
template <bool plain>
void bm_resample_input(benchmark::State &state)
{
    std::vector<unsigned char> wav = random_bytes(4 * 4410000);
    int64_t frames = 4410000;
    int64_t count = frames * 8000 / 44100 - 4;
    std::vector<int32_t> out(count);
    std::vector<unsigned char> region(count / 2);
    int64_t work_size;
    implant_work *work = take_implant_work(1, 4 * frames, &work_size);
    wav_data data{nullptr, -1, 4 * frames, wav.data()};
    implant_job job{44100, 8000, 15.9995f, region.data(), count / 2, high_nibble_first};
    for (auto _ : state) {
        if (plain)
            resample_input_plain(wav.data(), frames, 44100, 8000, 15.9995f, out.data(), count);
        else
            encode_wav(work, wav_read_piece / 4, &data, &job);
        benchmark::DoNotOptimize(out.data());
        benchmark::DoNotOptimize(region.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(bm_decode_per_code);
BENCHMARK(bm_decode_region);
BENCHMARK(bm_encode_per_sample);
BENCHMARK(bm_encode_region);
BENCHMARK_TEMPLATE(bm_resample_frames, true);
BENCHMARK_TEMPLATE(bm_resample_frames, false);
BENCHMARK_TEMPLATE(bm_resample_input, true);
BENCHMARK_TEMPLATE(bm_resample_input, false);

} // namespace

BENCHMARK_MAIN();
