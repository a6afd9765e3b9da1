// How the encoder's batches met the true chain on a real job: the implant
// of a WAV file into a region of sample_len bytes at samplerate_out, on
// threads threads, through the library, nothing written.
//
//   pieces_report <wav> <sample_len> <samplerate_out> <threads>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "file_stream.h"
#include "implant.h"
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
    file_source file;
    byte_source wav = source_of_file(&file, in, wav_header_size, wav_data_size(hdr));
    piece_counts counts{};
    implant_job job{&wav, wav_data_size(hdr), wav_sample_rate(hdr), atoi(argv[3]), false, 0.0f,
                    region.data(), len, high_nibble_first, atoi(argv[4]), nullptr, nullptr,
                    &counts};
    if (implant_wav(&job, nullptr).code != snd_ok)
        return 1;
    fclose(in);
    printf("%lld batches: %lld on the true state, %lld met it at their start, %lld after %.1f "
           "bytes on average (%lld at most), %lld ran through\n",
           static_cast<long long>(counts.batches), static_cast<long long>(counts.exact),
           static_cast<long long>(counts.at_start), static_cast<long long>(counts.met),
           counts.met > 0 ? double(counts.met_bytes) / double(counts.met) : 0.0,
           static_cast<long long>(counts.longest), static_cast<long long>(counts.through));
    return 0;
}
