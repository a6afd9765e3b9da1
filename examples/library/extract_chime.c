/* Takes the chime out of examples/chime.bin through the library, as
 *   sndextract chime.bin 4096 6000 8000 44100 out.wav
 * does, and writes the same WAV file, byte for byte:
 *   extract_chime <chime.bin> <out.wav> */
#include <stdio.h>
#include <stdlib.h>

#include <sndtools.h>

int main(int argc, char **argv)
{
    unsigned char region[6000], header[44];
    FILE *in = argc == 3 ? fopen(argv[1], "rb") : NULL;
    if (in == NULL || fseek(in, 4096, SEEK_SET) != 0 || fread(region, 1, 6000, in) != 6000) {
        fprintf(stderr, "usage: extract_chime <chime.bin> <out.wav>\n");
        return 1;
    }
    fclose(in);
    int64_t frames = sndtools_extract_frames(sizeof region, 8000, 44100);
    unsigned char *wav = malloc((size_t)(4 * frames));
    if (wav == NULL)
        return 1;
    sndtools_level level;
    int error = sndtools_extract(region, sizeof region, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100,
                                 NULL, wav, (size_t)(4 * frames), &level, 1);
    if (error != SNDTOOLS_OK) {
        fprintf(stderr, "sndtools_extract: %s\n", sndtools_error_name(error));
        return 1;
    }
    sndtools_wav_header(header, (int32_t)frames, 44100);
    FILE *out = fopen(argv[2], "wb");
    int failed = out == NULL || fwrite(header, 1, 44, out) != 44 ||
                 fwrite(wav, 4, (size_t)frames, out) != (size_t)frames || fputc(0, out) == EOF;
    if (out != NULL && fclose(out) != 0)
        failed = 1;
    printf("sndtools %s: %lld frames, multiplier %f\n", sndtools_version(), (long long)frames,
           (double)level.multiplier);
    free(wav);
    return failed;
}
