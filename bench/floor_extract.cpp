// The streaming floor of an extraction: the reads and writes that
// sndextract makes for the same arguments, in the same pieces, with no codec
// or resampling work. Each byte of every piece is stored once.
//
//   floor_extract <filein> <offset> <sample_len> <rate_in> <rate_out> <fileout>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "counts.h"
#include "files.h"
#include "frames.h"

using namespace sndtools;

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
    int64_t frames = wav_frames_of_region(sample_len, rate_in, rate_out);

    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr || file_size(in, argv[1]) < 0)
        return 1;
    unsigned char *data = static_cast<unsigned char *>(malloc(size_t(sample_len) + 256));
    fseek(in, offset, SEEK_SET);
    if (fread(data, 1, static_cast<size_t>(sample_len), in) != static_cast<size_t>(sample_len))
        return 1;
    fclose(in);
    unsigned char *piece = static_cast<unsigned char *>(malloc(4 * frames_per_piece + 256));
    if (data == nullptr || piece == nullptr)
        return 1;
    FILE *out = fopen(argv[6], "wb");
    if (out == nullptr)
        return 1;
    unsigned char hdr[44] = {0};
    int failed = fwrite(hdr, 1, 44, out) != 44;
    for (int64_t done = 0; done < frames && !failed;) {
        int64_t n = frames - done < frames_per_piece ? frames - done : frames_per_piece;
        int value = data[(done / 8) % (sample_len > 0 ? sample_len : 1)];
        memset(piece, value, static_cast<size_t>(4 * n));
        failed = fwrite(piece, 4, static_cast<size_t>(n), out) != static_cast<size_t>(n);
        done += n;
    }
    failed |= fputc(0, out) == EOF;
    failed |= fclose(out) != 0;
    free(data);
    free(piece);
    return failed;
}
