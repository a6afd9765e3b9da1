// The streaming floor of an implant: the reads and writes that sndimplant
// makes for the same arguments, in the same pieces (the WAV data read twice),
// with no mixing, resampling or encoding work. Each byte read is looked at
// once.
//
//   floor_implant <filein> <fileout> <offset> <sample_len> <rate_out>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "files.h"
#include "wav.h"

using namespace sndtools;

// The pieces sndimplant's second reading takes.
const int64_t wav_read_piece = 256 * 1024;

// Reads size bytes from the stream in pieces; returns a byte sum, or -1
// when the data ends early.
static int64_t read_pieces(FILE *in, unsigned char *piece, int64_t size)
{
    int64_t sum = 0;
    for (int64_t done = 0; done < size;) {
        int64_t want = size - done < wav_read_piece ? size - done : wav_read_piece;
        if (fread(piece, 1, static_cast<size_t>(want), in) != static_cast<size_t>(want))
            return -1;
        for (int64_t i = 0; i < want; i += 4)
            sum += piece[i];
        done += want;
    }
    return sum;
}

int main(int argc, char **argv)
{
    if (argc != 6) {
        printf("usage: floor_implant <filein> <fileout> <offset> <sample_len> <rate_out>\n");
        return 1;
    }
    int offset = atoi(argv[3]);
    int sample_len = atoi(argv[4]);
    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr || file_size(in, argv[1]) < 0)
        return 1;
    FILE *target = fopen(argv[2], "r+b");
    if (target == nullptr || fseek(target, offset, SEEK_SET) != 0)
        return 1;
    unsigned char hdr[wav_header_size];
    if (fread(hdr, 1, wav_header_size, in) != wav_header_size)
        return 1;
    int size = wav_data_size(hdr);
    unsigned char *data = static_cast<unsigned char *>(malloc(size_t(sample_len) + 256));
    unsigned char *piece = static_cast<unsigned char *>(malloc(wav_read_piece + 256));
    if (data == nullptr || piece == nullptr)
        return 1;
    int64_t first = read_pieces(in, piece, size);
    if (first < 0 || fseek(in, wav_header_size, SEEK_SET) != 0)
        return 1;
    int64_t second = read_pieces(in, piece, size);
    fclose(in);
    if (second != first)
        return 1;
    // One store per packed byte, as encoding makes.
    for (int64_t j = 0; j < sample_len; j++)
        data[j] = static_cast<unsigned char>(j + second);
    int failed = fseek(target, offset, SEEK_SET) != 0;
    failed |= fwrite(data, static_cast<size_t>(sample_len), 1, target) != 1;
    failed |= fclose(target) != 0;
    free(data);
    free(piece);
    return failed;
}
