/* sndtools: the Dialogic/OKI 4-bit ADPCM codec of sndextract, sndimplant
 * and sndbank, exact to the bit, for regions of binary files (game data,
 * ROM images, firmware) and the 16-bit stereo WAV files they become.
 *
 * A region is len bytes holding 2 * len 4-bit codes, two to a byte, one
 * stream from the start state (sample 0, step index 0). Samples are the
 * codec's 12-bit values, -2048..2047. WAV frames are 4 bytes each: the left
 * and the right sample, signed 16-bit little-endian. Every count of bytes,
 * samples or frames is an int64_t.
 *
 * Every function but sndtools_error_name() and the versions returns
 * SNDTOOLS_OK (0) or an error code that sndtools_error_name() names; none
 * prints, exits or keeps state between calls, and any may be called from
 * several threads at once. Outputs in memory are written only on success,
 * but for an implant's region, which is encoded in place (its bytes are
 * undefined after a failure that comes once the WAV data is read), and the
 * count of phrases a ROM holds more of than the array does; a stream's
 * writes may stop part way.
 *
 * ABI 3: the shared library is libsndtools.so.3 (libsndtools.dll on
 * Windows). ABI 2 (libsndtools.so.2) took positional options and output
 * buffers of an exact size; ABI 1 took size_t counts. */
#ifndef SNDTOOLS_H
#define SNDTOOLS_H

#include <stdint.h>

#define SNDTOOLS_VERSION_MAJOR 1
#define SNDTOOLS_VERSION_MINOR 0
#define SNDTOOLS_VERSION_PATCH 0
#define SNDTOOLS_VERSION_STRING "1.0.0"
#define SNDTOOLS_VERSION_NUMBER                                                                \
    (SNDTOOLS_VERSION_MAJOR * 10000 + SNDTOOLS_VERSION_MINOR * 100 + SNDTOOLS_VERSION_PATCH)
#define SNDTOOLS_ABI 3

/* What the shared library exports; nothing for the static one
 * (SNDTOOLS_STATIC, which pkg-config --static and CMake's
 * sndtools::sndtools_static define). */
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
#define SNDTOOLS_ERROR_NULL_POINTER 1   /* a buffer is null where bytes belong */
#define SNDTOOLS_ERROR_BUFFER_SIZE 2    /* an output's capacity is below what the call writes */
#define SNDTOOLS_ERROR_NO_MEMORY 3
#define SNDTOOLS_ERROR_WAV_TOO_SHORT 4     /* fewer than 44 bytes */
#define SNDTOOLS_ERROR_WAV_NOT_RIFF 5      /* a RIFF, WAVE, "fmt " or "data" tag is not in place */
#define SNDTOOLS_ERROR_WAV_FORMAT_LENGTH 6 /* the format chunk is not 16 bytes */
#define SNDTOOLS_ERROR_WAV_NOT_PCM 7       /* the format is not integer PCM */
#define SNDTOOLS_ERROR_WAV_NOT_16_BIT 8
#define SNDTOOLS_ERROR_WAV_NOT_STEREO 9
#define SNDTOOLS_ERROR_LENGTH 10         /* a region's length below 0 or past 268435423 bytes */
#define SNDTOOLS_ERROR_ADPCM_RATE 11     /* the ADPCM side's rate is not 1 or more */
#define SNDTOOLS_ERROR_WAV_RATE 12       /* the WAV side's rate is out of range */
#define SNDTOOLS_ERROR_TOO_MANY_FRAMES 13 /* more frames than a WAV file or a count holds */
#define SNDTOOLS_ERROR_AMPLIFICATION 14  /* an amplification of 0 */
#define SNDTOOLS_ERROR_NIBBLE_ORDER 15   /* neither of the two orders */
#define SNDTOOLS_ERROR_THREADS 16        /* fewer than 0 threads */
#define SNDTOOLS_ERROR_SAMPLE_RANGE 17   /* a sample of magnitude 2^31 - 2048 or more */
#define SNDTOOLS_ERROR_DATA_SIZE 18      /* WAV frames below 0 or past what is read */
#define SNDTOOLS_ERROR_NO_TABLE 19       /* the phrase table does not lie inside the ROM */
#define SNDTOOLS_ERROR_TOO_MANY_PHRASES 20 /* more phrases than the array holds */
#define SNDTOOLS_ERROR_LAYOUT 21         /* the phrases laid out again end past the limit */
#define SNDTOOLS_ERROR_COUNT 22          /* a count below 0 or past what the call takes */
#define SNDTOOLS_ERROR_FRAMES_ROOM 23    /* the frames do not fit in the room given */
/* A WAV file sndtools_read_wav does not read: */
#define SNDTOOLS_ERROR_WAV_NO_RIFF 24     /* no "RIFF" at its start: no WAV file */
#define SNDTOOLS_ERROR_WAV_NOT_WAVE 25    /* a RIFF file of another kind */
#define SNDTOOLS_ERROR_WAV_NO_FORMAT 26   /* no whole "fmt " chunk before its data */
#define SNDTOOLS_ERROR_WAV_NO_DATA 27     /* no "data" chunk */
#define SNDTOOLS_ERROR_WAV_COMPRESSED 28  /* samples neither integer PCM nor floating point */
#define SNDTOOLS_ERROR_WAV_CHANNELS 29    /* no channel or more than two */
#define SNDTOOLS_ERROR_WAV_BITS 30        /* bits per sample or block size not read */
#define SNDTOOLS_ERROR_WRITE 31  /* the write callback said it did not write all */
#define SNDTOOLS_ERROR_READ 32   /* the read callback gave fewer bytes than the data holds */
#define SNDTOOLS_ERROR_OPTION 33 /* a reserved field of the options is not 0 */
#define SNDTOOLS_ERROR_REREAD 34 /* the read callback gave fewer bytes the second time */
#define SNDTOOLS_ERROR_UNMAPPED 35 /* the bank shows no such address or offset */

/* The error's name in words ("no error", "out of memory", ...); a text for
 * any value, never null. */
SNDTOOLS_API const char *sndtools_error_name(int error);

/* The library's version, as SNDTOOLS_VERSION_STRING and
 * SNDTOOLS_VERSION_NUMBER say at build time. */
SNDTOOLS_API const char *sndtools_version(void);
SNDTOOLS_API int sndtools_version_number(void);

/* The ABI the library was built for, as SNDTOOLS_ABI says. */
SNDTOOLS_API int sndtools_abi(void);

/* Decodes a region of len bytes into 2 * len samples. */
SNDTOOLS_API int sndtools_decode(const unsigned char *region, int64_t len, int nibble_order,
                                 int32_t *samples);

/* Encodes 2 * len samples into a region of len bytes, each code the one
 * whose reconstruction lands nearest to its sample. Samples are taken as
 * they are; their magnitude must stay below 2^31 - 2048. */
SNDTOOLS_API int sndtools_encode(const int32_t *samples, int64_t len, int nibble_order,
                                 unsigned char *region);

/* The level a path measured and the multiplier it chose, as the programs
 * report them: sndextract's largest and smallest sample and its
 * peak-to-peak, which the multiplier multiplies; sndimplant's largest and
 * smallest frame sum and its peak, which twice the multiplier divides. */
typedef struct sndtools_level {
    int32_t max_val, min_val, peak;
    float multiplier;
    int32_t reserved[4]; /* 0, for what a later ABI 3 library adds */
} sndtools_level;

/* How an extraction or an implant runs. Start from the _INIT value (a null
 * options pointer means it) and set what differs; the reserved fields stay
 * 0, for options a later library adds (SNDTOOLS_ERROR_OPTION otherwise).
 * threads: how many the call may use (0 or 1: the calling one alone); the
 * bytes are the same for any number. amplification_given: 0 for the
 * automatic multiplier of the level, 1 for amplification (not 0). */
typedef struct sndtools_extract_options {
    int32_t nibble_order;
    int32_t amplification_given;
    float amplification;
    int32_t threads;
    int32_t reserved[8];
} sndtools_extract_options;
#define SNDTOOLS_EXTRACT_OPTIONS_INIT {SNDTOOLS_HIGH_NIBBLE_FIRST, 0, 0.0f, 0, {0}}

/* best: 1 for the best-sounding road (sndimplant's --best): the frames
 * scaled as always, then resampled by a band-limited, linear-phase filter
 * and encoded by a search over the decoder's states for a small squared
 * error; slower, and never the default. A WAV rate more than about 120
 * times the ADPCM rate is refused then (SNDTOOLS_ERROR_WAV_RATE). */
typedef struct sndtools_implant_options {
    int32_t nibble_order;
    int32_t amplification_given;
    float amplification;
    int32_t threads;
    int32_t best;
    int32_t reserved[7];
} sndtools_implant_options;
#define SNDTOOLS_IMPLANT_OPTIONS_INIT {SNDTOOLS_HIGH_NIBBLE_FIRST, 0, 0.0f, 0, 0, {0}}

/* What an implant measured and used: the level; the WAV frames that cover
 * the region's duration (those the level scans); the frames the samples
 * used of those given; and whether it took frames past them as silence
 * (the sound is shorter than the region). */
typedef struct sndtools_implant_report {
    sndtools_level level;
    int64_t frames_covered;
    int64_t frames_used;
    int32_t filled_with_silence;
    float snr; /* best: the signal-to-noise ratio in dB the decoded region reaches against
                  its band-limited input; 0 otherwise, or for a silent sound */
    int32_t reserved[2];
} sndtools_implant_report;

/* The caller's output and input for the streaming calls, context first.
 * A write takes all n bytes and returns nonzero, or returns 0 when it could
 * not (the call then stops with SNDTOOLS_ERROR_WRITE). A read copies up to
 * n bytes from byte offset of the caller's data into into and returns how
 * many; fewer than the data holds is a failure (SNDTOOLS_ERROR_READ). Reads
 * come from several threads at once when options allow threads. */
typedef int (*sndtools_write_fn)(void *context, const unsigned char *bytes, int64_t n);
typedef int64_t (*sndtools_read_fn)(void *context, int64_t offset, unsigned char *into,
                                    int64_t n);

/* Into *frames: the WAV frames that a region of len bytes playing at
 * adpcm_rate gives at wav_rate, as sndextract counts them. */
SNDTOOLS_API int sndtools_extract_frames(int64_t len, int32_t adpcm_rate, int32_t wav_rate,
                                         int64_t *frames);

/* Into *size: the bytes of the whole WAV file of such a region: the 44-byte
 * header, 4 per frame, and the trailing zero byte that sndextract writes. */
SNDTOOLS_API int sndtools_extract_wav_size(int64_t len, int32_t adpcm_rate, int32_t wav_rate,
                                           int64_t *size);

/* Into *bytes: the bytes a region at adpcm_rate needs for every frame of a
 * sound of frames frames at wav_rate: ceil(ceil(frames * adpcm_rate /
 * wav_rate) / 2), as sndbank counts them. */
SNDTOOLS_API int sndtools_region_bytes(int64_t frames, int32_t wav_rate, int32_t adpcm_rate,
                                       int64_t *bytes);

/* sndextract's path: decodes the region of len bytes playing at adpcm_rate,
 * measures its level, and writes the whole WAV file at wav_rate through
 * write, in order, byte for byte what sndextract writes
 * (sndtools_extract_wav_size() bytes: header, frames, trailing zero byte),
 * scaled by the automatic multiplier or by the options' amplification.
 * Memory stays small whatever the region's length: a few MiB, 8 bytes of
 * them for each KiB of region. level, when not null, receives the level. */
SNDTOOLS_API int sndtools_extract_stream(const unsigned char *region, int64_t len,
                                         int32_t adpcm_rate, int32_t wav_rate,
                                         const sndtools_extract_options *options,
                                         sndtools_write_fn write, void *context,
                                         sndtools_level *level);

/* The same into wav, capacity bytes (at least sndtools_extract_wav_size(),
 * SNDTOOLS_ERROR_BUFFER_SIZE otherwise); *written (when not null) receives
 * the bytes written. */
SNDTOOLS_API int sndtools_extract(const unsigned char *region, int64_t len, int32_t adpcm_rate,
                                  int32_t wav_rate, const sndtools_extract_options *options,
                                  unsigned char *wav, int64_t capacity, int64_t *written,
                                  sndtools_level *level);

/* sndimplant's path: the frames_count WAV frames at wav_rate that read
 * gives (4 bytes each from offset 0 on, all of them read once for the
 * level and those the region's duration reaches again; frames past them are
 * silence; read may be called from several threads at once when the
 * options allow threads), summed, brought to the
 * codec's range by the automatic multiplier or divided by twice the
 * options' amplification, resampled to the region's adpcm_rate and encoded
 * into all len bytes of region. report, when not null, receives what was
 * measured and used. */
SNDTOOLS_API int sndtools_implant_stream(sndtools_read_fn read, void *context,
                                         int64_t frames_count, int32_t wav_rate,
                                         unsigned char *region, int64_t len, int32_t adpcm_rate,
                                         const sndtools_implant_options *options,
                                         sndtools_implant_report *report);

/* The same from frames_count frames in memory at frames. */
SNDTOOLS_API int sndtools_implant(const unsigned char *frames, int64_t frames_count,
                                  int32_t wav_rate, unsigned char *region, int64_t len,
                                  int32_t adpcm_rate, const sndtools_implant_options *options,
                                  sndtools_implant_report *report);

/* Writes the 44-byte header of a 16-bit stereo WAV file of frames frames
 * at wav_rate, as sndextract writes it (its file then holds the frames and
 * one zero byte); frames up to 536870847, wav_rate 0 or more. */
SNDTOOLS_API int sndtools_wav_header(unsigned char header[44], int64_t frames,
                                     int32_t wav_rate);

/* Checks the first size bytes of a WAV file as sndimplant does: the plain
 * 44-byte header of 16-bit stereo integer PCM. On success *wav_rate and
 * *data_size (either may be null) receive the sample rate and the number
 * of bytes of frames that follow the header. */
SNDTOOLS_API int sndtools_wav_check(const unsigned char *header, int64_t size,
                                    int32_t *wav_rate, int64_t *data_size);

/* Any WAV file of integer PCM (8, 16, 24 or 32 bits) or floating-point
 * samples (32 or 64 bits), plain or extensible, of one or two channels,
 * its chunks in any order and any others among them, its data cut to the
 * file's end: its size bytes at wav. Measure, then read: *frames_count
 * (when not null) receives the count of its frames and *wav_rate (when not
 * null) its rate as it says it (both 0 for a file it does not read), even
 * when the frames do not fit; frames, when not null, receives them when
 * max_frames holds them (SNDTOOLS_ERROR_FRAMES_ROOM otherwise), 4 bytes
 * each, 16-bit stereo little-endian: 16-bit samples as they are, 8-bit
 * ones (unsigned) less 128 times 256, 24-bit and 32-bit ones divided by
 * 2^8 and 2^16 and floating-point ones times 32768, rounded to the nearest
 * (a tie to the even) and clipped to -32768..32767 (NaN as 0), a mono
 * sample on both channels. Null frames with max_frames 0 only measures. */
SNDTOOLS_API int sndtools_read_wav(const unsigned char *wav, int64_t size, unsigned char *frames,
                                   int64_t max_frames, int64_t *frames_count,
                                   int32_t *wav_rate);

/* The phrases of a sample ROM, as sndbank finds them: the OKI MSM6295's
 * phrase table (128 entries of 8 bytes from the table's offset, entry 0
 * unused: a 3-byte big-endian start and end address, the end inclusive,
 * counted from the table's offset within the 256 KiB the chip addresses, and
 * 2 more bytes; eight 0x00 or 0xFF bytes an empty entry), or a list of
 * regions ("offset length [rate] [name]" a line, "#" a comment). */
#define SNDTOOLS_FAULT_NONE 0
#define SNDTOOLS_FAULT_REVERSED 1   /* it starts after its end */
#define SNDTOOLS_FAULT_IN_TABLE 2   /* it starts inside the table */
#define SNDTOOLS_FAULT_PAST_SPACE 3 /* it ends past the 256 KiB the chip addresses */
#define SNDTOOLS_FAULT_PAST_FILE 4  /* it ends past the end of the file */
#define SNDTOOLS_FAULT_OVERLAP 5    /* it overlaps phrase other */
#define SNDTOOLS_FAULT_SYNTAX 6     /* a line that is not "offset length [rate] [name]" */
#define SNDTOOLS_FAULT_NUMBER 7     /* a number that is not understood */
#define SNDTOOLS_FAULT_NO_BYTES 8   /* a length of 0 */
#define SNDTOOLS_FAULT_RATE 9       /* a rate of 0 */
#define SNDTOOLS_FAULT_NAME 10      /* a name that cannot be a file's */
#define SNDTOOLS_FAULT_SAME_NAME 11 /* the name of phrase other */
#define SNDTOOLS_FAULT_OTHER_BANK 12 /* it lies in another bank, whose page the ROM alone cannot
                                        say: start and end are its chip addresses, no offset */
#define SNDTOOLS_FAULT_CROSSES 13    /* it reaches from one bank (or the fixed area) into
                                        another, so its bytes lie in two places of the file */

typedef struct sndtools_phrase {
    int32_t number;         /* the table's entry, or the place among the list's phrase lines */
    int64_t offset, length; /* in the file */
    int64_t start, end;     /* the table's addresses (end inclusive); a list's first and last byte */
    int32_t adpcm_rate;     /* the list's rate for it; 0: none */
    int32_t line;           /* in the list, from 1 */
    int64_t name_at, name_length; /* the list's name for it, in its text; 0 bytes: none */
    int32_t fault;          /* SNDTOOLS_FAULT_... */
    int32_t other;          /* the phrase it overlaps or whose name it has; for an alias
                               the earlier one it is exactly alike; for a phrase inside
                               another, the outermost phrase it lies inside (0: none) */
    int32_t alias;          /* 1: the same bytes as phrase other, that phrase listed again */
    int32_t inside;         /* 1: its bytes all lie inside phrase other (a tail, say) */
    int32_t bank;           /* the bank it is seen through, from 0; -1: none (the plain
                               layout, a list, a banked layout's fixed area) */
    int32_t other_bank;     /* the bank of phrase other (-1: none) */
    int32_t reserved[2];    /* 0, for what a later ABI 3 library adds */
} sndtools_phrase;

/* How a board maps a sample ROM into the chip's address space. A chip
 * address A seen through bank k reads the file's byte:
 * MSM6295          R[A] (A below 256 KiB), no banks.
 * WINDOW_ABSOLUTE  R[A] below fixed; from fixed on R[k*window + A - fixed].
 * WINDOW_LINEAR    R[A] below fixed; from fixed on R[fixed + k*window + A - fixed].
 * BANKS            R[k*0x40000 + A]: 256 KiB images, each with its own table.
 * NMK112           R[k*0x10000 + (A & 0xFFFF)], k the page the 64 KiB bank
 *                  A >> 16 shows; with a paged table (unpaged_table 0) the
 *                  table's slice of entries 32b..32b+31 comes from bank b's page.
 * TT5665           R[A], 512 entries (a 4 KiB table), 24-bit addresses.
 * R counts from the table's offset. A zeroed struct is the MSM6295's. */
#define SNDTOOLS_LAYOUT_MSM6295 0
#define SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE 1
#define SNDTOOLS_LAYOUT_WINDOW_LINEAR 2
#define SNDTOOLS_LAYOUT_BANKS 3
#define SNDTOOLS_LAYOUT_NMK112 4
#define SNDTOOLS_LAYOUT_TT5665 5

typedef struct sndtools_layout {
    int32_t kind;          /* SNDTOOLS_LAYOUT_... */
    int32_t unpaged_table; /* NMK112: 1 when the table is not paged (at the file's start) */
    int64_t fixed, window; /* WINDOW_*: the fixed area's size and the banks' stride */
    int32_t reserved[4];   /* 0 */
} sndtools_layout;

/* The entries of the table at table_offset that are not empty, at most
 * max_phrases (127 always suffice), into phrases; *count receives how many.
 * SNDTOOLS_ERROR_NO_TABLE when the table does not lie inside the ROM. */
SNDTOOLS_API int sndtools_read_table(const unsigned char *rom, int64_t rom_size,
                                     int64_t table_offset, sndtools_phrase *phrases,
                                     int64_t max_phrases, int64_t *count);

/* Reads a layout's name as sndbank's --layout takes it: "msm6295",
 * "window-absolute:F,W", "window-linear:F,W" (F and W decimal, or
 * hexadecimal after 0x), "banks", "nmk112", "nmk112:unpaged" (its table not
 * paged), "tt5665". SNDTOOLS_ERROR_OPTION when text is none of them or its
 * parameters cannot be (F from the table's end to below 256 KiB, W from 4 KiB). */
SNDTOOLS_API int sndtools_parse_layout(const char *text, sndtools_layout *layout);

/* The phrases of a ROM in a layout (null: the MSM6295's), chip address 0 at
 * table_offset: every entry that is not empty, once for each bank that reads
 * it, bank by bank (a window layout's fixed area first); overlap and nesting
 * judged within each bank; a phrase that an earlier bank reaches with the
 * same offset and length is an alias of it (other and other_bank name it).
 * *count receives how many there are even when they do not fit in
 * max_phrases (SNDTOOLS_ERROR_TOO_MANY_PHRASES): max_phrases 0 measures.
 * SNDTOOLS_ERROR_NO_TABLE when no table lies inside the ROM,
 * SNDTOOLS_ERROR_OPTION for a layout that cannot be. */
SNDTOOLS_API int sndtools_read_layout(const unsigned char *rom, int64_t rom_size,
                                      const sndtools_layout *layout, int64_t table_offset,
                                      sndtools_phrase *phrases, int64_t max_phrases,
                                      int64_t *count);

/* Into *offset: the file's byte that chip address shows while bank is
 * selected (-1: none, a window layout's fixed area alone), as the layout's
 * formula above says, the table's paging aside; into *address: the chip
 * address that shows the file's byte at offset (the lowest when several do:
 * the fixed area's, an NMK112 page's through bank 0). A null layout is the
 * MSM6295's. SNDTOOLS_ERROR_UNMAPPED where the bank shows no such address or
 * byte; SNDTOOLS_ERROR_COUNT for a table_offset below 0 or from 2^48 on. */
SNDTOOLS_API int sndtools_layout_offset(const sndtools_layout *layout, int64_t table_offset,
                                        int32_t bank, int64_t address, int64_t *offset);
SNDTOOLS_API int sndtools_layout_address(const sndtools_layout *layout, int64_t table_offset,
                                         int32_t bank, int64_t offset, int64_t *address);

/* The phrases of a list of regions, checked against a ROM of rom_size
 * bytes. */
SNDTOOLS_API int sndtools_read_regions(const char *text, int64_t size, int64_t rom_size,
                                       sndtools_phrase *phrases, int64_t max_phrases,
                                       int64_t *count);

/* A new layout: the phrases without a fault, each new_lengths[i] bytes long
 * (an alias takes its phrase's), one after the other in table order from the
 * lowest offset; new_offsets[i] receives each offset (a phrase with a fault
 * keeps its own). A phrase inside another that grows no longer stays there
 * and takes a place of its own; one that does not moves with its outer
 * phrase, which then reaches at least to its end. SNDTOOLS_ERROR_LAYOUT, with
 * the offsets set all the same, when the last ends past limit. */
SNDTOOLS_API int sndtools_lay_out(const sndtools_phrase *phrases, int64_t count,
                                  const int64_t *new_lengths, int64_t limit,
                                  int64_t *new_offsets);

/* Writes entry number's (1..127) start and end addresses into the table of
 * table_size bytes at table, leaving its other 2 bytes as they are. */
SNDTOOLS_API int sndtools_write_table_entry(unsigned char *table, int64_t table_size,
                                            int32_t number, int64_t start, int64_t end);

#ifdef __cplusplus
}
#endif

#endif
