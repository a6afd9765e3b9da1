#include "wav_refusal.h"

#include <cstring>
#include <string>

#include "fields.h"

using namespace sndtools;

// A chunk's tag as it can be printed.
static std::string tag_at(const unsigned char *hdr)
{
    std::string tag;
    for (int i = 0; i < 4; i++)
        tag += hdr[i] >= 0x20 && hdr[i] < 0x7F ? static_cast<char>(hdr[i]) : '?';
    return tag;
}

// What a RIFF WAVE header says of its file, as far as its 44 bytes tell.
static std::string wav_contents(const unsigned char *hdr)
{
    if (memcmp(hdr + 12, "fmt ", 4) != 0)
        return "a \"" + tag_at(hdr + 12) + "\" chunk before the format chunk";
    int length = wav_format_length(hdr), format = grab_intval(hdr + 20, 2) & 0xFFFF;
    int channels = grab_intval(hdr + 22, 2), bits = grab_intval(hdr + 34, 2);
    std::string contents = formatted(
        "%d-bit %s, %d channel%s, %d Hz", bits,
        format == 1 ? "integer PCM" : format == 3 ? "floating-point samples"
        : format == 0xFFFE ? "samples in the extensible format" : "samples of another format",
        channels, channels == 1 ? "" : "s", wav_sample_rate(hdr));
    if (length != 16)
        contents += ", a format chunk of " + std::to_string(length) + " bytes";
    if (length >= 0 && length <= 20 && memcmp(hdr + 20 + length, "data", 4) != 0)
        contents += ", a \"" + tag_at(hdr + 20 + length) + "\" chunk before the data";
    return contents;
}

static std::string hint(const char *name, const unsigned char *hdr, int got, int adpcm_rate)
{
    if (got < wav_header_size || memcmp(hdr, "RIFF", 4) != 0 || memcmp(hdr + 8, "WAVE", 4) != 0)
        return std::string(name) + " is no WAV file: sndimplant reads the WAV file from its first "
                                   "argument and writes into the second\n";
    std::string converted = name;
    size_t dot = converted.size() > 4 ? converted.size() - 4 : 0;
    if (dot > 0 && (converted.compare(dot, 4, ".wav") == 0 || converted.compare(dot, 4, ".WAV") == 0))
        converted.erase(dot);
    return std::string(name) + " holds " + wav_contents(hdr) +
           "; sndimplant reads 16-bit stereo integer PCM with its data right after a 16-byte "
           "format chunk, which this makes of it: sox \"" + name + "\" -b 16 -c 2 -r " +
           std::to_string(adpcm_rate) + " \"" + converted + "-16bit-stereo.wav\"\n";
}

static stop check_refusal(wav_check outcome, const unsigned char *hdr, int got)
{
    switch (outcome) {
    case wav_too_short:
        return failed("Could not read WAV header.  Bytes desired = %d; bytes read = %d\n",
                      wav_header_size, got);
    case wav_not_riff:
        return failed("RIFF not found\n");
    case wav_bad_fmt:
        return failed("format chunk data chunk length wrong: found 0x%X, expected 0x%X\n",
                      static_cast<unsigned>(wav_format_length(hdr)), 16u);
    case wav_not_pcm:
        return failed("sample data format wrong\n");
    case wav_not_16bit:
        return failed("significant bits per sample wrong\n");
    default:
        return failed("Number of channels wrong\n");
    }
}

stop wav_refusal(const char *name, wav_check outcome, const unsigned char *hdr, int got,
                 int adpcm_rate)
{
    return after_line(hint(name, hdr, got, adpcm_rate), check_refusal(outcome, hdr, got));
}
