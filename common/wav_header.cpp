#include "wav_header.h"

#include <cstring>

#include "params.h"

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

int write_wav_header(FILE *out, unsigned char *hdr, int frames_count, int rate)
{
    fill_wav_header(hdr, frames_count, rate);
    return fwrite(hdr, 1, wav_header_size, out) != static_cast<size_t>(wav_header_size);
}

int write_wav_end(FILE *out)
{
    return fputc(0, out) == EOF;
}

int read_wav_header(FILE *in, unsigned char *hdr)
{
    int got = 0;
    while (got < wav_header_size) {
        int c = fgetc(in);
        if (c == EOF)
            break;
        hdr[got++] = static_cast<unsigned char>(c);
    }
    return got;
}

wav_check check_wav_header(const unsigned char *hdr, int got)
{
    if (got < wav_header_size)
        return wav_too_short;
    if (memcmp(hdr + 0, "RIFF", 4) != 0 || memcmp(hdr + 8, "WAVE", 4) != 0 ||
        memcmp(hdr + 12, "fmt ", 4) != 0 || memcmp(hdr + 36, "data", 4) != 0)
        return wav_not_riff;
    if (grab_intval(hdr + 16, 4) != 16)
        return wav_fmt_length;
    if (grab_intval(hdr + 20, 2) != 1)
        return wav_not_pcm;
    if (grab_intval(hdr + 34, 2) != 16)
        return wav_not_16bit;
    if (grab_intval(hdr + 22, 2) != 2)
        return wav_not_stereo;
    return wav_ok;
}

void print_wav_refusal(wav_check outcome, const unsigned char *hdr, int got)
{
    switch (outcome) {
    case wav_ok:
        break;
    case wav_too_short:
        printf("Could not read WAV header.  Bytes desired = %d; bytes read = %d\n",
               wav_header_size, got);
        break;
    case wav_not_riff:
        printf("RIFF not found\n");
        break;
    case wav_fmt_length:
        printf("format chunk data chunk length wrong: found 0x%X, expected 0x%X\n",
               static_cast<unsigned>(grab_intval(hdr + 16, 4)), 16u);
        break;
    case wav_not_pcm:
        printf("sample data format wrong\n");
        break;
    case wav_not_16bit:
        printf("significant bits per sample wrong\n");
        break;
    case wav_not_stereo:
        printf("Number of channels wrong\n");
        break;
    }
}

wav_check read_and_check_wav_header(FILE *in, unsigned char *hdr)
{
    int got = read_wav_header(in, hdr);
    wav_check outcome = check_wav_header(hdr, got);
    if (outcome != wav_ok)
        print_wav_refusal(outcome, hdr, got);
    return outcome;
}

int wav_sample_rate(const unsigned char *hdr)
{
    return grab_intval(hdr + 24, 4);
}

int wav_data_size(const unsigned char *hdr)
{
    return grab_intval(hdr + 40, 4);
}
