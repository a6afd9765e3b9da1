/* Streams the extraction of a large region (of silence, MiB mebibytes, 200
 * unless given) through a write callback into a file, and says the peak
 * resident memory where the system tells it: the library's own stays small
 * whatever the region's length (the region is the caller's; taken from
 * calloc, its untouched pages are not resident):
 *   stream_large <out.wav> [MiB] */
#include <stdio.h>
#include <stdlib.h>

#include <sndtools.h>
#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#endif

static int write_file(void *context, const unsigned char *bytes, int64_t n)
{
    return fwrite(bytes, 1, (size_t)n, (FILE *)context) == (size_t)n;
}

int main(int argc, char **argv)
{
    int64_t len = (argc == 3 ? atoi(argv[2]) : 200) * (int64_t)1048576;
    unsigned char *region = calloc((size_t)len, 1);
    FILE *out = argc >= 2 ? fopen(argv[1], "wb") : NULL;
    if (region == NULL || out == NULL) {
        fprintf(stderr, "usage: stream_large <out.wav> [MiB]\n");
        return 1;
    }
    sndtools_extract_options options = SNDTOOLS_EXTRACT_OPTIONS_INIT;
    options.threads = 2;
    int error = sndtools_extract_stream(region, len, 8000, 8000, &options, write_file, out, NULL);
    if (fclose(out) != 0 && error == SNDTOOLS_OK)
        error = SNDTOOLS_ERROR_WRITE;
    free(region);
    if (error != SNDTOOLS_OK) {
        fprintf(stderr, "sndtools_extract_stream: %s\n", sndtools_error_name(error));
        remove(argv[1]);
        return 1;
    }
#if defined(__unix__) || defined(__APPLE__)
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) == 0) /* kilobytes; bytes on macOS */
        printf("%lld MiB region streamed; peak resident %ld\n", (long long)(len >> 20),
               usage.ru_maxrss);
#endif
    return 0;
}
