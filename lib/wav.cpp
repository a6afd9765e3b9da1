#include "wav.h"

#include <cstring>

#include "fields.h"

namespace sndtools {

void fill_wav_header(unsigned char *hdr, int frames, int rate)
{
    // Wrapping arithmetic, as the sizes are 32-bit fields; callers keep
    // frames small enough that nothing wraps in practice.
    int data_size = static_cast<int>(4u * static_cast<unsigned>(frames));
    int riff_size = static_cast<int>(static_cast<unsigned>(data_size) + 37u);
    memcpy(hdr + 0, "RIFF", 4);
    memcpy(hdr + 8, "WAVE", 4);
    memcpy(hdr + 12, "fmt ", 4);
    memcpy(hdr + 36, "data", 4);
    implant_intval(hdr + 4, riff_size, 4);
    implant_intval(hdr + 16, 16, 4);
    implant_intval(hdr + 20, 1, 2);
    implant_intval(hdr + 22, 2, 2);
    implant_intval(hdr + 24, rate, 4);
    implant_intval(hdr + 28, static_cast<int>(static_cast<unsigned>(rate) * 4u), 4);
    implant_intval(hdr + 32, 4, 2);
    implant_intval(hdr + 34, 16, 2);
    implant_intval(hdr + 40, data_size, 4);
}

wav_check check_wav_header(const unsigned char *hdr, int got)
{
    if (got < wav_header_size)
        return wav_too_short;
    if (memcmp(hdr + 0, "RIFF", 4) != 0 || memcmp(hdr + 8, "WAVE", 4) != 0 ||
        memcmp(hdr + 12, "fmt ", 4) != 0 || memcmp(hdr + 36, "data", 4) != 0)
        return wav_not_riff;
    if (wav_format_length(hdr) != 16)
        return wav_bad_fmt;
    if (grab_intval(hdr + 20, 2) != 1)
        return wav_not_pcm;
    if (grab_intval(hdr + 34, 2) != 16)
        return wav_not_16bit;
    if (grab_intval(hdr + 22, 2) != 2)
        return wav_not_stereo;
    return wav_ok;
}

int wav_sample_rate(const unsigned char *hdr)
{
    return grab_intval(hdr + 24, 4);
}

int wav_data_size(const unsigned char *hdr)
{
    return grab_intval(hdr + 40, 4);
}

int wav_format_length(const unsigned char *hdr)
{
    return grab_intval(hdr + 16, 4);
}

} // namespace sndtools
