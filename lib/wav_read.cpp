#include "wav_read.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace sndtools {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "floating-point samples are read as IEEE 754 bits");

namespace {

const int64_t streamed_size = 0xFFFFFFFF;

// The n bytes at p, little-endian.
uint64_t le_at(const unsigned char *p, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; i++)
        v |= uint64_t(p[i]) << (8 * i);
    return v;
}

// The GUID of an extensible format after its first two bytes, which hold
// the format tag: KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT share it.
const unsigned char guid_tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The format chunk's body of length bytes.
wav_kind read_format(const unsigned char *fmt, int64_t length, wav_sound *sound)
{
    if (length < 16)
        return wav_kind_no_format;
    sound->format_tag = int(le_at(fmt, 2));
    sound->channels = int(le_at(fmt + 2, 2));
    uint32_t rate = uint32_t(le_at(fmt + 4, 4));
    sound->rate = rate <= uint32_t(std::numeric_limits<int>::max()) ? int(rate) : 0;
    sound->block_align = int(le_at(fmt + 12, 2));
    sound->bits = int(le_at(fmt + 14, 2));
    if (sound->format_tag == 0xFFFE) {
        if (length < 40)
            return wav_kind_no_format;
        sound->extensible = true;
        if (memcmp(fmt + 26, guid_tail, sizeof guid_tail) == 0)
            sound->format_tag = int(le_at(fmt + 24, 2));
    }
    if (sound->format_tag != 1 && sound->format_tag != 3)
        return wav_kind_compressed;
    if (sound->channels < 1 || sound->channels > 2)
        return wav_kind_channels;
    int b = sound->bits;
    bool bits_known = sound->format_tag == 1 ? b == 8 || b == 16 || b == 24 || b == 32
                                             : b == 32 || b == 64;
    if (!bits_known || sound->block_align != sound->channels * b / 8)
        return wav_kind_bits;
    return wav_kind_readable;
}

} // namespace

wav_kind read_wav_sound(const unsigned char *file, int64_t size, wav_sound *sound)
{
    *sound = wav_sound{};
    if (size < 12 || memcmp(file, "RIFF", 4) != 0)
        return wav_kind_no_riff;
    if (memcmp(file + 8, "WAVE", 4) != 0)
        return wav_kind_not_wave;
    bool format_read = false;
    // at is at most size + 2^32 + 8: no overflow.
    for (int64_t at = 12; size - at >= 8;) {
        const unsigned char *chunk = file + at;
        int64_t length = int64_t(le_at(chunk + 4, 4)), body = at + 8;
        if (memcmp(chunk, "data", 4) == 0) {
            if (!format_read)
                return wav_kind_no_format;
            sound->data_at = body;
            int64_t there = size - body;
            sound->data_size = length == streamed_size || length > there ? there : length;
            sound->frames = sound->data_size / sound->block_align;
            return wav_kind_readable;
        }
        if (memcmp(chunk, "fmt ", 4) == 0 && !format_read) {
            if (length > size - body)
                return wav_kind_no_format;
            wav_kind kind = read_format(file + body, length, sound);
            if (kind != wav_kind_readable)
                return kind;
            format_read = true;
        }
        at = body + length + (length & 1);
    }
    return format_read ? wav_kind_no_data : wav_kind_no_format;
}

namespace {

// v / d (d positive) rounded to the nearest, a tie to the even one, and
// clipped to 16 bits.
int rounded_div(int64_t v, int64_t d)
{
    int64_t q = v / d;
    if (q * d > v) // division truncates; the floor is wanted
        q--;
    int64_t r = v - q * d;
    if (2 * r > d || (2 * r == d && q % 2 != 0))
        q++;
    return q < -32768 ? -32768 : q > 32767 ? 32767 : int(q);
}

// x * 32768 is exact (a power of two; at worst an infinity), and so are
// floor() and the fraction below 2^15: no rounding mode is involved.
int from_float(double x)
{
    if (x != x)
        return 0;
    double y = x * 32768.0;
    if (y >= 32767.0)
        return 32767;
    if (y <= -32768.0)
        return -32768;
    double whole = std::floor(y), fraction = y - whole;
    int q = int(whole);
    if (fraction > 0.5 || (fraction == 0.5 && q % 2 != 0))
        q++;
    return q;
}

// One sample at p, as a 16-bit value.
int sample_16(const wav_sound &sound, const unsigned char *p)
{
    uint64_t v = le_at(p, sound.bits / 8);
    if (sound.format_tag == 3 && sound.bits == 32) {
        uint32_t bits = uint32_t(v);
        float f;
        memcpy(&f, &bits, sizeof f);
        return from_float(f);
    }
    if (sound.format_tag == 3) {
        double d;
        memcpy(&d, &v, sizeof d);
        return from_float(d);
    }
    if (sound.bits == 8)
        return (p[0] - 128) * 256;
    // 16-bit ones pass whole; 24 and 32 lose their low 8 and 16 bits.
    int64_t sign = int64_t(1) << (sound.bits - 1);
    return rounded_div(int64_t(v) - (int64_t(v) & sign) * 2, int64_t(1) << (sound.bits - 16));
}

void put_16(unsigned char *out, int v)
{
    out[0] = static_cast<unsigned char>(v & 0xFF);
    out[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

} // namespace

void wav_frames_16(const wav_sound &sound, const unsigned char *file, int64_t first,
                   int64_t count, unsigned char *out)
{
    const unsigned char *in = file + sound.data_at + first * sound.block_align;
    if (wav_is_16bit_stereo(sound)) {
        if (count > 0)
            memcpy(out, in, size_t(count * 4));
        return;
    }
    int step = sound.bits / 8, right = sound.channels == 2 ? step : 0;
    for (int64_t i = 0; i < count; i++, in += sound.block_align, out += 4) {
        put_16(out, sample_16(sound, in));
        put_16(out + 2, sample_16(sound, in + right));
    }
}

const char *file_kind_of(const unsigned char *file, int64_t size)
{
    auto starts = [&](const char *tag) {
        return size >= 4 && memcmp(file, tag, 4) == 0;
    };
    if (size == 0)
        return "an empty file";
    if ((size >= 3 && memcmp(file, "ID3", 3) == 0) ||
        (size >= 2 && file[0] == 0xFF && (file[1] & 0xE0) == 0xE0 && (file[1] & 0x06) != 0))
        return "an MP3 file";
    if (starts("OggS"))
        return "an Ogg file";
    if (starts("fLaC"))
        return "a FLAC file";
    if (starts("FORM") && size >= 12 &&
        (memcmp(file + 8, "AIFF", 4) == 0 || memcmp(file + 8, "AIFC", 4) == 0))
        return "an AIFF file";
    if (starts("RIFX"))
        return "a big-endian RIFF (RIFX) file";
    if (starts("RF64"))
        return "an RF64 file";
    return nullptr;
}

const char *wav_format_name(int tag)
{
    switch (tag) {
    case 0x0002:
        return "Microsoft ADPCM";
    case 0x0006:
        return "A-law";
    case 0x0007:
        return "mu-law";
    case 0x0011:
        return "IMA ADPCM";
    case 0x0031:
        return "GSM 6.10";
    case 0x0055:
        return "MP3";
    default:
        return nullptr;
    }
}

} // namespace sndtools
