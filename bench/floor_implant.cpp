// The streaming floor of an implant: the reads and writes that sndimplant
// makes for the same arguments, in the same pieces and on as many threads
// (the WAV data read twice, each thread taking the next piece where the
// file reads at offsets), with no mixing, resampling or encoding work. Each
// byte read is looked at once.
//
//   floor_implant <filein> <fileout> <offset> <sample_len> <rate_out>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "cli.h"
#include "file_stream.h"
#include "files.h"
#include "wav.h"

using namespace sndtools;

// The pieces of sndimplant's two readings.
const int64_t level_piece = 1024 * 1024, window_piece = 256 * 1024;

// Reads size bytes of the source in pieces of the given size on the
// threads; returns a byte sum, or -1 when the data ends early.
static int64_t read_pieces(byte_source *in, int64_t size, int64_t piece_size, int threads)
{
    std::atomic<int64_t> next{0}, sum{0};
    std::atomic<bool> short_read{false};
    auto read = [&] {
        std::vector<unsigned char> piece(static_cast<size_t>(piece_size));
        int64_t mine = 0;
        for (int64_t at; (at = piece_size * next++) < size;) {
            int64_t want = std::min(piece_size, size - at);
            int64_t got = in->read_at(in->context, at, piece.data(), want);
            short_read = short_read || got != want;
            for (int64_t i = 0; i < got; i += 4)
                mine += piece[size_t(i)];
        }
        sum += mine;
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && in->read_at != nullptr; t++)
        helpers.emplace_back(read);
    read();
    for (std::thread &h : helpers)
        h.join();
    return short_read ? -1 : sum.load();
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
    if (data == nullptr)
        return 1;
    const int threads = std::min(usable_processors(), 8);
    file_source file;
    byte_source wav = source_of_file(&file, in, wav_header_size, size);
    int64_t first = read_pieces(&wav, size, level_piece, threads);
    if (first < 0)
        return 1;
    int64_t second = read_pieces(&wav, size, window_piece, threads);
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
    return failed;
}
