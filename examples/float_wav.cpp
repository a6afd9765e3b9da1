// Re-saves a 16-bit PCM WAV file as an audio editor saves it: 32-bit float
// samples (each value v as v / 32768), an 18-byte format chunk and a LIST
// chunk naming the software before the data. The demo uses it to show that
// sndbank implant takes such a file and still gives the bytes back exactly.
//
//   float_wav in.wav out.wav
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

static uint32_t get_le(const unsigned char *p, int bytes)
{
    uint32_t v = 0;
    for (int b = bytes - 1; b >= 0; b--)
        v = v << 8 | p[b];
    return v;
}

static void put_le(std::vector<unsigned char> &out, uint32_t v, int bytes)
{
    for (int b = 0; b < bytes; b++)
        out.push_back(static_cast<unsigned char>(v >> (8 * b)));
}

static void put_tag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

struct pcm16 {
    uint32_t channels = 0, rate = 0;
    std::vector<int16_t> samples;
};

// The format and data chunks of a 16-bit integer PCM file, wherever they sit.
static bool read_pcm16(const std::vector<unsigned char> &file, pcm16 *pcm)
{
    if (file.size() < 12 || memcmp(file.data(), "RIFF", 4) != 0 ||
        memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    bool have_format = false;
    for (size_t at = 12; at + 8 <= file.size();) {
        const unsigned char *chunk = file.data() + at;
        size_t size = get_le(chunk + 4, 4), body = at + 8;
        if (size > file.size() - body)
            return false;
        if (memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            if (get_le(chunk + 8, 2) != 1 || get_le(chunk + 22, 2) != 16)
                return false;
            pcm->channels = get_le(chunk + 10, 2);
            pcm->rate = get_le(chunk + 12, 4);
            have_format = pcm->channels > 0;
        } else if (memcmp(chunk, "data", 4) == 0 && have_format) {
            for (size_t i = 0; i + 2 <= size; i += 2)
                pcm->samples.push_back(static_cast<int16_t>(get_le(file.data() + body + i, 2)));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

static std::vector<unsigned char> float_wav(const pcm16 &pcm)
{
    const char software[] = "sndtools float_wav"; // 19 bytes with its zero: padded to 20
    std::vector<unsigned char> info;
    put_tag(info, "INFO");
    put_tag(info, "ISFT");
    put_le(info, sizeof software, 4);
    info.insert(info.end(), software, software + sizeof software);
    if (sizeof software & 1)
        info.push_back(0);
    uint32_t data_size = static_cast<uint32_t>(4 * pcm.samples.size());

    std::vector<unsigned char> out;
    put_tag(out, "RIFF");
    put_le(out, static_cast<uint32_t>(4 + 8 + 18 + 8 + info.size() + 8 + data_size), 4);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_le(out, 18, 4);
    put_le(out, 3, 2); // IEEE float
    put_le(out, pcm.channels, 2);
    put_le(out, pcm.rate, 4);
    put_le(out, pcm.rate * 4 * pcm.channels, 4);
    put_le(out, 4 * pcm.channels, 2);
    put_le(out, 32, 2);
    put_le(out, 0, 2); // no extension
    put_tag(out, "LIST");
    put_le(out, static_cast<uint32_t>(info.size()), 4);
    out.insert(out.end(), info.begin(), info.end());
    put_tag(out, "data");
    put_le(out, data_size, 4);
    for (int16_t v : pcm.samples) {
        float f = static_cast<float>(v) / 32768.0f;
        uint32_t bits;
        memcpy(&bits, &f, 4);
        put_le(out, bits, 4);
    }
    return out;
}

static bool read_whole(const char *name, std::vector<unsigned char> *bytes)
{
    FILE *in = fopen(name, "rb");
    if (in == nullptr)
        return false;
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + n);
    bool ok = ferror(in) == 0;
    fclose(in);
    return ok;
}

// Written beside and renamed over, so that a failed run leaves the old file.
static bool write_whole(const char *name, const std::vector<unsigned char> &bytes)
{
    std::string part = std::string(name) + ".part";
    FILE *out = fopen(part.c_str(), "wb");
    bool ok = out != nullptr && fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out != nullptr && fclose(out) != 0)
        ok = false;
    std::error_code error;
    if (ok)
        std::filesystem::rename(part, name, error);
    if (!ok || error) {
        std::remove(part.c_str());
        return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        printf("usage: float_wav <16-bit WAV file> <float WAV file to write>\n");
        return 1;
    }
    std::vector<unsigned char> file;
    pcm16 pcm;
    if (!read_whole(argv[1], &file) || !read_pcm16(file, &pcm)) {
        printf("Couldn't read %s as a 16-bit PCM WAV file\n", argv[1]);
        return 1;
    }
    if (!write_whole(argv[2], float_wav(pcm))) {
        printf("Couldn't write %s\n", argv[2]);
        return 1;
    }
    printf("%s: %llu frames of %u channels at %u Hz as 32-bit float, with a LIST chunk\n", argv[2],
           static_cast<unsigned long long>(pcm.samples.size() / pcm.channels), pcm.channels,
           pcm.rate);
    return 0;
}
