/* Takes the chime out of examples/chime.bin through the library, as
 *   sndextract chime.bin 4096 6000 8000 44100 out.wav
 * does, and writes the same WAV file, byte for byte, from one buffer:
 *   extract_chime <chime.bin> <out.wav> */
#include <stdio.h>
#include <stdlib.h>

#include <sndtools.h>

int main(int argc, char **argv)
{
    unsigned char region[6000];
    FILE *in = argc == 3 ? fopen(argv[1], "rb") : NULL;
    if (in == NULL || fseek(in, 4096, SEEK_SET) != 0 || fread(region, 1, 6000, in) != 6000) {
        fprintf(stderr, "usage: extract_chime <chime.bin> <out.wav>\n");
        return 1;
    }
    fclose(in);
    int64_t size;
    int error = sndtools_extract_wav_size(sizeof region, 8000, 44100, &size);
    unsigned char *wav = error == SNDTOOLS_OK ? malloc((size_t)size) : NULL;
    sndtools_level level;
    if (wav != NULL)
        error = sndtools_extract_wav(region, sizeof region, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000,
                                     44100, NULL, wav, size, &level, 1);
    if (wav == NULL || error != SNDTOOLS_OK) {
        fprintf(stderr, "sndtools_extract_wav: %s\n", sndtools_error_name(error));
        return 1;
    }
    FILE *out = fopen(argv[2], "wb");
    int failed = out == NULL || fwrite(wav, 1, (size_t)size, out) != (size_t)size;
    if (out != NULL && fclose(out) != 0)
        failed = 1;
    printf("sndtools %s: %lld bytes, multiplier %f\n", sndtools_version(), (long long)size,
           (double)level.multiplier);
    free(wav);
    return failed;
}
