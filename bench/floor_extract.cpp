// The design floor of an extraction: the blocks, reads and writes that
// sndextract makes for the same arguments, with no codec or resampling work.
// Each byte of every block is touched once.
//
//   floor_extract <filein> <offset> <sample_len> <rate_in> <rate_out> <fileout>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli.h"
#include "files.h"

int main(int argc, char **argv)
{
    if (argc != 7) {
        printf("usage: floor_extract <filein> <offset> <sample_len> <rate_in> <rate_out> <fileout>\n");
        return 1;
    }
    int offset = atoi(argv[2]);
    int sample_len = atoi(argv[3]);
    int rate_in = atoi(argv[4]);
    int rate_out = atoi(argv[5]);
    int num_samplein = 2 * sample_len;
    int64_t frames = frames_for(rate_out, duration_of(num_samplein, rate_in));

    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr || file_size(in) < 0)
        return 1;
    unsigned char *data = static_cast<unsigned char *>(take_block(int64_t(num_samplein) + 256));
    fseek(in, offset, SEEK_SET);
    if (fread(data, 1, static_cast<size_t>(sample_len), in) != static_cast<size_t>(sample_len))
        return 1;
    fclose(in);
    int32_t *output = static_cast<int32_t *>(take_block(4 * int64_t(num_samplein) + 256));
    unsigned char *wavout = static_cast<unsigned char *>(take_block(4 * frames + 256));
    FILE *out = fopen(argv[6], "wb");
    if (out == nullptr)
        return 1;
    // One pass of stores over each block, as decoding and resampling make.
    for (int64_t i = 0; i < num_samplein; i++)
        output[i] = data[i >> 1];
    memset(wavout, static_cast<int>(output[num_samplein / 2] & 0xFF), static_cast<size_t>(4 * frames));
    unsigned char hdr[44] = {0};
    int failed = fwrite(hdr, 1, 44, out) != 44;
    failed |= fwrite(wavout, 1, static_cast<size_t>(4 * frames), out) != static_cast<size_t>(4 * frames);
    failed |= fputc(0, out) == EOF;
    failed |= fclose(out) != 0;
    free(data);
    free(output);
    free(wavout);
    return failed;
}
