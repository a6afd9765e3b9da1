/* sndtools: the Dialogic/OKI 4-bit ADPCM codec of sndextract and sndimplant,
 * exact to the bit, for regions of binary files (game data, ROM images,
 * firmware) and the 16-bit stereo WAV frames they become.
 *
 * A region is len bytes holding 2 * len 4-bit codes, two to a byte, one
 * stream from the start state (sample 0, step index 0). Samples are the
 * codec's 12-bit values, -2048..2047. WAV frames are 4 bytes each: the left
 * and the right sample, signed 16-bit little-endian. Every function returns
 * SNDTOOLS_OK (0) or an error code that sndtools_error_name() names; none
 * prints, exits or keeps state between calls, and any may be called from
 * several threads at once. */
#ifndef SNDTOOLS_H
#define SNDTOOLS_H

#include <stddef.h>
#include <stdint.h>

#define SNDTOOLS_VERSION_MAJOR 1
#define SNDTOOLS_VERSION_MINOR 0
#define SNDTOOLS_VERSION_PATCH 0
#define SNDTOOLS_VERSION_STRING "1.0.0"
#define SNDTOOLS_VERSION_NUMBER                                                                \
    (SNDTOOLS_VERSION_MAJOR * 10000 + SNDTOOLS_VERSION_MINOR * 100 + SNDTOOLS_VERSION_PATCH)

/* What the shared library exports; nothing for the static one. */
#if defined(SNDTOOLS_STATIC)
#define SNDTOOLS_API
#elif defined(_WIN32)
#if defined(SNDTOOLS_BUILDING)
#define SNDTOOLS_API __declspec(dllexport)
#else
#define SNDTOOLS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define SNDTOOLS_API __attribute__((visibility("default")))
#else
#define SNDTOOLS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Which nibble of each byte holds the earlier of its two codes. */
#define SNDTOOLS_HIGH_NIBBLE_FIRST 0 /* bits 7..4: Dialogic, OKI MSM6295 */
#define SNDTOOLS_LOW_NIBBLE_FIRST 1  /* bits 3..0: the other order */

#define SNDTOOLS_OK 0
#define SNDTOOLS_ERROR_ARGUMENT 1     /* a null pointer, a length, rate or order out of range */
#define SNDTOOLS_ERROR_BUFFER_SIZE 2  /* an output's size is not what the call makes */
#define SNDTOOLS_ERROR_NO_MEMORY 3
#define SNDTOOLS_ERROR_WAV_TOO_SHORT 4     /* fewer than 44 bytes */
#define SNDTOOLS_ERROR_WAV_NOT_RIFF 5      /* a RIFF, WAVE, "fmt " or "data" tag is not in place */
#define SNDTOOLS_ERROR_WAV_FORMAT_LENGTH 6 /* the format chunk is not 16 bytes */
#define SNDTOOLS_ERROR_WAV_NOT_PCM 7       /* the format is not integer PCM */
#define SNDTOOLS_ERROR_WAV_NOT_16_BIT 8
#define SNDTOOLS_ERROR_WAV_NOT_STEREO 9

/* The error's name in words ("no error", "out of memory", ...); a text for
 * any value, never null. */
SNDTOOLS_API const char *sndtools_error_name(int error);

/* The library's version, as SNDTOOLS_VERSION_STRING says at build time. */
SNDTOOLS_API const char *sndtools_version(void);

/* Decodes a region of len bytes into 2 * len samples. */
SNDTOOLS_API int sndtools_decode(const unsigned char *region, size_t len, int nibble_order,
                                 int32_t *samples);

/* Encodes 2 * len samples into a region of len bytes, each code the one
 * whose reconstruction lands nearest to its sample. Samples are taken as
 * they are; their magnitude must stay below 2^31 - 2048. */
SNDTOOLS_API int sndtools_encode(const int32_t *samples, size_t len, int nibble_order,
                                 unsigned char *region);

/* The level a path measured and the multiplier it chose, as the programs
 * report them: sndextract's largest and smallest sample and its
 * peak-to-peak, which the multiplier multiplies; sndimplant's largest and
 * smallest frame sum and its peak, which twice the multiplier divides. */
typedef struct sndtools_level {
    int32_t max_val, min_val, peak;
    float multiplier;
} sndtools_level;

/* The number of WAV frames that a region of len bytes playing at rate_in
 * gives at rate_out, as sndextract counts them; -1 for values it refuses
 * (a rate of 0 or below, a region above 268435423 bytes, or more frames
 * than a WAV file holds). */
SNDTOOLS_API int64_t sndtools_extract_frames(size_t len, int32_t rate_in, int32_t rate_out);

/* sndextract's path on memory: decodes the region, measures its level,
 * and writes sndtools_extract_frames() frames of 4 bytes into frames
 * (frames_size bytes, exactly 4 per frame), scaled by the automatic
 * multiplier or, when amplification is not null, by *amplification (not
 * 0). level, when not null, receives the level. threads: how many threads
 * the call may use (0 or 1: only the calling one); the bytes are the same
 * for any number. */
SNDTOOLS_API int sndtools_extract(const unsigned char *region, size_t len, int nibble_order,
                                  int32_t rate_in, int32_t rate_out, const float *amplification,
                                  unsigned char *frames, size_t frames_size,
                                  sndtools_level *level, int threads);

/* sndimplant's path on memory: the frames_count WAV frames at rate_in
 * (frames past them are silence; frames beyond the region's duration are
 * not used), summed, brought to the codec's range by the automatic
 * multiplier or divided by twice *amplification, resampled to the region's
 * rate_out and encoded into the region of len bytes. level and threads as
 * for sndtools_extract. */
SNDTOOLS_API int sndtools_implant(const unsigned char *frames, size_t frames_count,
                                  int32_t rate_in, int32_t rate_out, const float *amplification,
                                  unsigned char *region, size_t len, int nibble_order,
                                  sndtools_level *level, int threads);

/* Writes the 44-byte header of a 16-bit stereo WAV file of frames frames
 * at rate frames per second, as sndextract writes it (its file then holds
 * the frames and one zero byte). */
SNDTOOLS_API void sndtools_wav_header(unsigned char header[44], int32_t frames, int32_t rate);

/* Checks the first size bytes of a WAV file as sndimplant does: the plain
 * 44-byte header of 16-bit stereo integer PCM. On success *rate and
 * *data_size (either may be null) receive the sample rate and the number
 * of bytes of frames that follow the header. */
SNDTOOLS_API int sndtools_wav_check(const unsigned char *header, size_t size, int32_t *rate,
                                    int32_t *data_size);

#ifdef __cplusplus
}
#endif

#endif
