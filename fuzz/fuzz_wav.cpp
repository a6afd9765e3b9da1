// The WAV reader on arbitrary bytes: what it reports lies within them, every
// frame it reports converts (the bytes sit in a heap block of exactly their
// size, so a read past them is an AddressSanitizer report), the first
// frames agree with a reading by the floating-point unit's own rounding
// (ties to even, the default mode), pieces give what the whole gives, the
// C interface gives the same, and a refused file gets one line.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sndtools.h"
#include "wav_kind_line.h"
#include "wav_read.h"

using namespace sndtools;

static uint64_t field(const unsigned char *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

static int clipped(double v)
{
    return v != v ? 0 : v < -32768 ? -32768 : v > 32767 ? 32767 : int(v);
}

static int expected_sample(const wav_sound &s, const unsigned char *p)
{
    uint64_t v = field(p, s.bits / 8);
    if (s.format_tag == 3 && s.bits == 32) {
        float f;
        uint32_t bits = uint32_t(v);
        memcpy(&f, &bits, 4);
        return clipped(std::nearbyint(double(f) * 32768));
    }
    if (s.format_tag == 3) {
        double d;
        memcpy(&d, &v, 8);
        return clipped(std::nearbyint(d * 32768));
    }
    if (s.bits == 8)
        return int(v) * 256 - 32768;
    double sign = std::ldexp(1.0, s.bits - 1), value = double(v) >= sign ? double(v) - 2 * sign : double(v);
    return clipped(std::nearbyint(std::ldexp(value, 16 - s.bits)));
}

static void check_readable(const wav_sound &s, const unsigned char *file, int64_t size)
{
    if (s.data_at < 20 || s.data_size < 0 || s.data_at + s.data_size > size ||
        s.frames != s.data_size / s.block_align || (s.format_tag != 1 && s.format_tag != 3) ||
        s.channels < 1 || s.channels > 2 || s.block_align != s.channels * s.bits / 8)
        abort();
    std::vector<unsigned char> whole(size_t(4 * s.frames)), piece(whole.size());
    wav_frames_16(s, file, 0, s.frames, whole.data());
    for (int64_t at = 0; at < s.frames; at += 7) // pieces of 7 frames
        wav_frames_16(s, file, at, s.frames - at < 7 ? s.frames - at : 7, piece.data() + 4 * at);
    if (whole != piece)
        abort();
    for (int64_t i = 0; i < s.frames && i < 64; i++) {
        const unsigned char *frame = file + s.data_at + i * s.block_align;
        int left = expected_sample(s, frame);
        int right = s.channels == 2 ? expected_sample(s, frame + s.bits / 8) : left;
        int got_left = int16_t(whole[4 * i] | whole[4 * i + 1] << 8);
        int got_right = int16_t(whole[4 * i + 2] | whole[4 * i + 3] << 8);
        if (got_left != left || got_right != right)
            abort();
    }
    std::vector<unsigned char> by_c(whole.size());
    int64_t count = -1;
    int32_t rate = -1;
    if (sndtools_read_wav(file, size, by_c.data(), s.frames, &count, &rate) != SNDTOOLS_OK ||
        count != s.frames || rate != s.rate || by_c != whole)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<unsigned char> exact(data, data + size);
    const unsigned char *file = exact.empty() ? nullptr : exact.data();
    wav_sound sound;
    wav_kind kind = read_wav_sound(file, int64_t(size), &sound);
    if (kind == wav_kind_readable) {
        check_readable(sound, file, int64_t(size));
        return 0;
    }
    int64_t count = -1;
    if (sndtools_read_wav(file, int64_t(size), nullptr, 0, &count, nullptr) !=
            SNDTOOLS_ERROR_WAV_NO_RIFF + (kind - wav_kind_no_riff) || count != 0)
        abort();
    std::string line = wav_kind_line("d/001.wav", kind, sound, file, int64_t(size), 7575);
    if (line.empty() || line.find('\n') != line.size() - 1)
        abort();
    return 0;
}
