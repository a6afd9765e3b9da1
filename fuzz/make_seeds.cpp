// Writes the seed corpora of the fuzz targets into <dir>/<target>/:
//
//   make_seeds <dir>
//
// The seeds are made from the project's own header writer and encoder, so
// the fuzzers start from inputs that pass the checks and reach deep.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bank.h"
#include "codec.h"
#include "wav.h"

using namespace sndtools;

static std::string seed_dir;

static void put(const std::string &target, const std::string &name, const std::string &bytes)
{
    std::string dir = seed_dir + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE *f = fopen((dir + "/" + name).c_str(), "wb");
    if (f == nullptr)
        return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

static std::string wav_of(const std::vector<int16_t> &samples, int rate)
{
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(samples.size() / 2), rate);
    std::string bytes(reinterpret_cast<char *>(hdr), wav_header_size);
    for (int16_t s : samples) {
        bytes += static_cast<char>(s & 0xFF);
        bytes += static_cast<char>((s >> 8) & 0xFF);
    }
    return bytes + '\0';
}

static std::string region_of(int bytes)
{
    std::vector<int32_t> samples(2 * bytes);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<int32_t>((i * 97) % 4000) - 2000;
    std::string region(bytes, '\0');
    ad_state state{0, 0};
    encode_region(&state, samples.data(), bytes, high_nibble_first, reinterpret_cast<unsigned char *>(&region[0]));
    return region;
}

// A ROM of size bytes with a phrase table at table_offset: entry n+1 from
// entries[n] (start and end, inclusive, from the table's offset), encoded
// sound after the table.
static std::string table_rom(const std::vector<std::pair<int, int>> &entries, int table_offset,
                             int size)
{
    std::string rom(static_cast<size_t>(size), '\0');
    const int sound_at = table_offset + static_cast<int>(bank_table_size);
    rom.replace(static_cast<size_t>(sound_at), std::string::npos, region_of(size - sound_at));
    for (size_t n = 0; n < entries.size(); n++)
        write_table_entry(reinterpret_cast<unsigned char *>(&rom[0]), table_offset,
                          static_cast<int>(n) + 1, entries[n].first, entries[n].second);
    return rom;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        printf("usage: make_seeds <dir>\n");
        return 1;
    }
    seed_dir = argv[1];
    mkdir(seed_dir.c_str(), 0755);
    std::vector<int16_t> pulse = {0, 0, 2048, 2048, 0, 0, -2048, -2048, 0, 0};
    std::string wav = wav_of(pulse, 8000);

    put("wav_header", "valid", wav);
    put("wav_header", "short", wav.substr(0, 10));
    std::string mono = wav;
    mono[22] = 1;
    put("wav_header", "mono", mono);
    std::string fmt20 = wav;
    fmt20[16] = 20;
    put("wav_header", "fmt20", fmt20);

    // WAV files as editors save them: float mono, 24-bit with a LIST chunk
    // before the data, extensible 16-bit stereo, and the plain one.
    std::string fmt_float = std::string("fmt \x10\0\0\0\x03\0\x01\0\x40\x1F\0\0"
                                        "\0\x7D\0\0\x04\0\x20\0", 24);
    std::string list = std::string("LIST\x05\0\0\0INFOx\0", 14);
    std::string fmt_24 = std::string("fmt \x10\0\0\0\x01\0\x02\0\x40\x1F\0\0"
                                     "\x80\xBB\0\0\x06\0\x18\0", 24);
    std::string fmt_ext = std::string("fmt \x28\0\0\0\xFE\xFF\x02\0\x40\x1F\0\0"
                                      "\0\x7D\0\0\x04\0\x10\0\x16\0\x10\0\x03\0\0\0"
                                      "\x01\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 48);
    std::string frames = wav.substr(44, 20);
    auto riff = [](const std::string &chunks) {
        unsigned size = unsigned(chunks.size() + 4);
        std::string header = "RIFF";
        for (int i = 0; i < 4; i++)
            header += static_cast<char>((size >> (8 * i)) & 0xFF);
        return header + "WAVE" + chunks;
    };
    auto data = [](const std::string &bytes) {
        return std::string("data") + static_cast<char>(bytes.size()) + std::string(3, '\0') + bytes;
    };
    put("wav", "plain", wav);
    put("wav", "float", riff(fmt_float + data(std::string("\0\0\0\x3F\0\0\x80\xBF", 8))));
    put("wav", "24bit", riff(list + fmt_24 + list + data(frames.substr(0, 18))));
    put("wav", "extensible", riff(fmt_ext + data(frames)));
    put("wav", "streamed", riff(fmt_24 + "data" + std::string(4, '\xFF') + frames));

    for (const char *text : {"0", "0x1F", "4294967295", "0x80000000", "12a", "-5", "0X10", ""})
        put("num_param", "t" + std::to_string(std::string(text).size()) + "_" + std::to_string(text[0]), text);

    put("codec", "ramp", std::string("\x00\x00\x00\x10\x00\x00\xF0\xFF\x00\x00\x08\x01", 12));
    put("codec", "wide", std::string("\xFF\x7F\x80\x00\x80\x80", 6));
    // Two threads, short warm-ups and trails, over a ramp and a stretch of
    // silence.
    std::string ramp;
    for (int i = 0; i < 6000; i++) {
        int16_t v = static_cast<int16_t>(i < 3000 ? (i * 37) % 65536 - 32768 : 0);
        ramp += static_cast<char>(v & 0xFF);
        ramp += static_cast<char>((v >> 8) & 0xFF);
    }
    put("pieces", "small", std::string("\x01\x00\x00\x04\x02", 5) + ramp);
    put("pieces", "big", std::string("\x01\x20\x00\x3F\x1F", 5) + ramp);

    // Two values, rates, samples, a fraction and a multiplier.
    put("extended", "zeros", std::string(64, '\0'));
    put("extended", "ones", std::string(64, '\xFF'));
    put("extended", "half", std::string("\x00\x00\x00\x00\x00\x00\x00\x80\x01\x00"
                                        "\x00\x00\x00\x00\x00\x00\x00\x80\xC0\xFF", 20) +
                                std::string(44, '\x11'));

    // Run inputs: a choice byte, the number lines, the file.
    std::string region = region_of(64) + "tail";
    put("extract_run", "plain", std::string("\x00") + "64\n8000\n8000\n\n" + region);
    put("extract_run", "up", std::string("\x01") + "64\n8000\n44100\n1.5\n" + region);
    put("extract_run", "full", std::string("\x06") + "8\n8000\n11025\n\n" + region);
    put("extract_run", "huge", std::string("\x01") + "60\n6000\n48000\n1e30\n" + region);
    put("implant_run", "plain", std::string("\x00") + "2\n8000\n" + wav);
    put("implant_run", "down", std::string("\x00") + "4\n6000\n" + wav);
    put("implant_run", "fixed", std::string("\x01") + "3\n8000\n-2\n" + wav);
    put("implant_run", "short", std::string("\x00") + "2\n8000\n" + wav.substr(0, 50));

    // sndbank's readers: a choice byte, the table offset, the ROM's size and
    // the wishes of a new layout, then the ROM, the list or the manifest.
    // A table with a phrase inside another, one alike, two that cross, one
    // reversed, one in the table and one past the file.
    std::string rom = table_rom({{0x400, 0x47F}, {0x440, 0x47F}, {0x400, 0x47F}, {0x480, 0x4FF},
                                 {0x4C0, 0x53F}, {0x540, 0x57F}, {0x5A0, 0x580}, {0x10, 0x20},
                                 {0x5C0, 0x7FF}}, 0, 0x600);
    put("bank", "table", std::string("\x00") + "\n\n\n" + rom);
    put("bank", "table_grow", std::string("\x00") + "0\n\n\xFE\x80\x80\x80\x80\xFE\n" + rom);
    put("bank", "table_own", std::string("\x00") + "0\n\n\x80\x41\x80\x80\x80\x20\n" + rom);
    put("bank", "table_resized", std::string("\x40") + "0\n\n\x7F\x81\xFF\n" + rom);
    // A table at 256, padded to past the 256 KiB from it, one entry ending there.
    put("bank", "table_space", std::string("\x08") + "256\n300000\n\n" +
                                   table_rom({{0x400, 0x4FF}, {0x3FF00, 0x40010}}, 256, 0x700));
    // Each layout's tables: one 64 KiB page (repeated up to the size
    // asked) whose table points into the fixed area, a window, other banks,
    // twice at the same bytes, and past entry 127.
    std::string page = table_rom({{0x400, 0x4FF}, {0x1000, 0x10FF}, {0x400, 0x4FF}}, 0, 0x10000);
    const std::vector<std::pair<int, std::pair<int, int>>> banked = {
        {9, {0x30100, 0x302FF}}, {10, {0x20400, 0x205FF}}, {40, {0x10800, 0x108FF}},
        {70, {0x10000, 0x100FF}}, {100, {0x30800, 0x308FF}}, {300, {0x80000, 0x805FF}}};
    for (const auto &e : banked)
        write_table_entry(reinterpret_cast<unsigned char *>(&page[0]), 0, e.first,
                          e.second.first, e.second.second);
    for (const char *layout : {"msm6295", "window-absolute:0x30000,0x10000",
                               "window-linear:0x20000,0x20000", "banks", "nmk112",
                               "nmk112:unpaged", "tt5665"})
    {
        std::string name = std::string("layout_") + layout;
        for (char &c : name)
            c = c == ':' || c == ',' ? '_' : c;
        put("bank", name, std::string("\x0B") + "0\n0x100000\n" + layout + "\n" + page);
    }
    put("bank", "list", std::string("\x01") + "\n4096\n\n100 50\n100 50\n120 10\n");
    put("bank", "list_named", std::string("\x05") + "\n4096\n\xFE\x81\n0x400 64 8000 kick\n"
                              "0x420 32\n# a comment\n0x4A0 32 Snare.wav\n0x4A0 8 KICK.WAV\n"
                              "0x500 0\nx y\n0x600 16 7\t\r\n1 2 3 4 5\n");
    // A name as long as a name can be: its WAV file's name is 4 bytes longer.
    put("bank", "list_long_name", std::string("\x01") + "\n4096\n\n0x400 64 " +
                                      std::string(251, 'a') + "\n");
    // Manifests as sndbank extract writes them, and after a resize.
    const std::string first = "# sndbank manifest 2: the phrases taken out of a sample ROM; edit "
                              "the WAV files, then: sndbank implant ROM DIR\n";
    const std::string columns = "number\toffset\tlength\trate\twav_rate\tmultiplier\tfile\t";
    put("bank", "manifest", std::string("\x02") + "\n\n\n" + first +
                                "source\ttable\t0x000000\nnibble_order\thigh\n" + columns +
                                "xxh64\n"
                                "1\t0x000400\t64\t7575\t7575\t12.000000\t001.wav\tc4b319196d265088\n"
                                "2\t0x000420\t32\t7575\t7575\t12.000000\t002.wav\tf7e9efff231e02d1\n"
                                "3\t0x000400\t64\t7575\t7575\t12.000000\t001.wav\tc4b319196d265088\n"
                                "6\t0x0004A0\t32\t7575\t7575\t12.000000\t006.wav\t72bccf5372c4f72e\n");
    put("bank", "manifest_resized",
        std::string("\x02") + "\n\n\n" + first +
            "source\tregions\tlist.txt\nresized_regions\tlist-resized.txt\n"
            "nibble_order\thigh\n" + columns + "xxh64\tresized_offset\tresized_length\n"
            "1\t0x000400\t64\t8000\t8000\t12.000000\tkick.wav\t25f54d8aef3b238f\t0x000400\t104\n"
            "2\t0x000420\t32\t7575\t7575\t12.000000\t002.wav\tf7e9efff231e02d1\t0x000420\t32\n"
            "3\t0x0004A0\t32\t7575\t7575\t12.000000\tSnare.wav\t72bccf5372c4f72e\t0x0004A0\t32\n");
    put("bank", "manifest_first", std::string("\x02") + "\n\n\n" + first +
                                      "source\ttable\t0x10000\r\nnibble_order\tlow\r\n" +
                                      columns + "fnv1a64\r\n"
                                      "7\t0x010400\t100\t8000\t44100\t-0.5\tA b.wav\t"
                                      "0123456789ABCDEF\r\n");
    return 0;
}
