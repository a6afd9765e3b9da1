/* Takes the chime out of examples/chime.bin through the library, as
 *   sndextract chime.bin 4096 6000 8000 44100 out.wav
 * does, and writes the same WAV file, byte for byte, through a write
 * callback straight into the file (no buffer of the whole file):
 *   extract_chime <chime.bin> <out.wav> */
#include <stdio.h>

#include <sndtools.h>

static int write_file(void *context, const unsigned char *bytes, int64_t n)
{
    return fwrite(bytes, 1, (size_t)n, (FILE *)context) == (size_t)n;
}

int main(int argc, char **argv)
{
    unsigned char region[6000];
    FILE *in = argc == 3 ? fopen(argv[1], "rb") : NULL;
    if (in == NULL || fseek(in, 4096, SEEK_SET) != 0 || fread(region, 1, 6000, in) != 6000) {
        fprintf(stderr, "usage: extract_chime <chime.bin> <out.wav>\n");
        return 1;
    }
    fclose(in);
    FILE *out = fopen(argv[2], "wb");
    sndtools_extract_options options = SNDTOOLS_EXTRACT_OPTIONS_INIT;
    options.threads = 2;
    sndtools_level level;
    int error = out == NULL ? SNDTOOLS_ERROR_WRITE
                            : sndtools_extract_stream(region, sizeof region, 8000, 44100,
                                                      &options, write_file, out, &level);
    if (out != NULL && fclose(out) != 0 && error == SNDTOOLS_OK)
        error = SNDTOOLS_ERROR_WRITE;
    if (error != SNDTOOLS_OK) {
        fprintf(stderr, "sndtools_extract_stream: %s\n", sndtools_error_name(error));
        remove(argv[2]);
        return 1;
    }
    printf("sndtools %s (%d): multiplier %f\n", sndtools_version(), sndtools_version_number(),
           (double)level.multiplier);
    return 0;
}
