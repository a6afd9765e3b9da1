// How the encoder's batches meet the true chain on the samples of a real
// job: those of the implant of a WAV file into a region of sample_len bytes
// at samplerate_out (the automatic level), encoded on threads threads in
// batches of the implanter's size, nothing written.
//
//   pieces_report <wav> <sample_len> <samplerate_out> <threads>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "implant.h"
#include "reference.h"
#include "wav.h"

using namespace sndtools;

int main(int argc, char **argv)
{
    if (argc != 5) {
        printf("usage: pieces_report <wav> <sample_len> <samplerate_out> <threads>\n");
        return 2;
    }
    FILE *in = fopen(argv[1], "rb");
    unsigned char hdr[wav_header_size];
    if (in == nullptr || fread(hdr, 1, wav_header_size, in) != size_t(wav_header_size) ||
        check_wav_header(hdr, wav_header_size) != wav_ok)
        return 1;
    const int64_t len = atoll(argv[2]);
    std::vector<unsigned char> region(static_cast<size_t>(len));
    std::vector<unsigned char> frames(static_cast<size_t>(wav_data_size(hdr)));
    if (fread(frames.data(), 1, frames.size(), in) != frames.size())
        return 1;
    const int wav_rate = wav_sample_rate(hdr), adpcm_rate = atoi(argv[3]);
    memory_source held;
    byte_source wav = source_of_memory(&held, frames.data(), int64_t(frames.size()));
    implant_job job = job_of(&wav, wav_rate, adpcm_rate, 0.0f, len, 1);
    implant_report report;
    if (implant_wav(&job, region.data(), &report).code != snd_ok)
        return 1;
    std::vector<int32_t> samples(2 * static_cast<size_t>(len));
    resample_input_plain(frames.data(), int64_t(frames.size()) / 4, wav_rate, adpcm_rate,
                         report.level.multiplier, samples.data(), 2 * len);
    // The implanter's batches with these threads: a quarter of the frames
    // a thread, 256 Ki to 2 Mi of them, as bytes of the region.
    const int threads = atoi(argv[4]);
    const int64_t batch_frames = std::clamp(int64_t(frames.size()) / 4 / (4 * threads),
                                            int64_t(256 * 1024), int64_t(2 * 1024 * 1024));
    batch_counts counts{};
    encoded_in_batches(samples, threads, batch_frames * adpcm_rate / wav_rate / 2, &counts);
    fclose(in);
    printf("%lld batches: %lld on the true state, %lld met it at their start, %lld after %.1f "
           "bytes on average (%lld at most), %lld ran through\n",
           static_cast<long long>(counts.batches), static_cast<long long>(counts.exact),
           static_cast<long long>(counts.at_start), static_cast<long long>(counts.met),
           counts.met > 0 ? double(counts.met_bytes) / double(counts.met) : 0.0,
           static_cast<long long>(counts.longest), static_cast<long long>(counts.through));
    return 0;
}
