// The design floor of an implant: the blocks, reads and writes that
// sndimplant makes for the same arguments, with no mixing, resampling or
// encoding work. Each byte of every block is touched once.
//
//   floor_implant <filein> <fileout> <offset> <sample_len> <rate_out>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli.h"
#include "files.h"
#include "wav_header.h"

int main(int argc, char **argv)
{
    if (argc != 6) {
        printf("usage: floor_implant <filein> <fileout> <offset> <sample_len> <rate_out>\n");
        return 1;
    }
    int offset = atoi(argv[3]);
    int sample_len = atoi(argv[4]);
    int num_sampleout = 2 * sample_len;
    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr || file_size(in) < 0)
        return 1;
    FILE *target = fopen(argv[2], "r+b");
    if (target == nullptr || fseek(target, offset, SEEK_SET) != 0)
        return 1;
    unsigned char hdr[wav_header_size];
    if (read_wav_header(in, hdr) != wav_header_size)
        return 1;
    int size = wav_data_size(hdr);
    unsigned char *data = static_cast<unsigned char *>(take_block(int64_t(num_sampleout) + 256));
    unsigned char *wavin = static_cast<unsigned char *>(take_block(int64_t(size) + 256));
    // The same pieces as sndimplant reads.
    for (int64_t done = 0; done < size;) {
        int64_t want = size - done < wav_read_piece ? size - done : wav_read_piece;
        if (fread(wavin + done, 1, static_cast<size_t>(want), in) != static_cast<size_t>(want))
            return 1;
        done += want;
    }
    fclose(in);
    // One pass of stores over the packed bytes, as encoding makes.
    for (int64_t j = 0; j < sample_len; j++)
        data[j] = static_cast<unsigned char>(j);
    int failed = fseek(target, offset, SEEK_SET) != 0;
    failed |= fwrite(data, static_cast<size_t>(sample_len), 1, target) != 1;
    failed |= fclose(target) != 0;
    free(data);
    free(wavin);
    return failed;
}
