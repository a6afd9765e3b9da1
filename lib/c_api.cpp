// The public C interface (include/sndtools.h) over the core: the core's
// statuses turned into the interface's error codes, its jobs through the
// caller's callbacks or on memory.
#include "sndtools.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bank.h"
#include "c_api.h"
#include "codec.h"
#include "counts.h"
#include "extract.h"
#include "implant.h"
#include "job.h"
#include "wav.h"

namespace sndtools {

static_assert(wav_not_stereo == SNDTOOLS_ERROR_WAV_NOT_STEREO, "the header's checks as codes");

namespace {

int error_of(snd_status status)
{
    return static_cast<int>(status.code);
}

const sndtools_extract_options extract_defaults = SNDTOOLS_EXTRACT_OPTIONS_INIT;
const sndtools_implant_options implant_defaults = SNDTOOLS_IMPLANT_OPTIONS_INIT;

// Options a later library gives a meaning are refused, not ignored.
template <typename options> bool reserved_clear(const options &o)
{
    for (int32_t r : o.reserved)
        if (r != 0)
            return false;
    return true;
}

struct caller_sink {
    sndtools_write_fn write;
    void *context;
};

bool write_to_caller(void *context, const unsigned char *bytes, int64_t n)
{
    caller_sink *c = static_cast<caller_sink *>(context);
    return c->write(c->context, bytes, n) != 0;
}

// The extraction through the core, out in order into out.
int extract_into(const unsigned char *region, int64_t len, int32_t adpcm_rate, int32_t wav_rate,
                 const sndtools_extract_options *options, byte_sink *out,
                 sndtools_level *level)
{
    const sndtools_extract_options &o = options != nullptr ? *options : extract_defaults;
    if (!reserved_clear(o))
        return SNDTOOLS_ERROR_OPTION;
    return guarded([&] {
        extract_job job;
        job.region = region;
        job.sample_len = len;
        job.order = nibble_order_of(o.nibble_order);
        job.adpcm_rate = adpcm_rate;
        job.wav_rate = wav_rate;
        job.amplification_given = o.amplification_given != 0;
        job.amplification = o.amplification;
        job.threads = o.threads;
        level_report found;
        snd_status status = extract_wav(&job, out, &found);
        if (status.code == snd_ok && level != nullptr)
            *level = found;
        return error_of(status);
    });
}

// The implant through the core, its frames data_size bytes of wav.
int implant_from(byte_source *wav, int64_t data_size, int32_t wav_rate, unsigned char *region,
                 int64_t len, int32_t adpcm_rate, const sndtools_implant_options *options,
                 sndtools_implant_report *report)
{
    const sndtools_implant_options &o = options != nullptr ? *options : implant_defaults;
    if (!reserved_clear(o))
        return SNDTOOLS_ERROR_OPTION;
    if (region == nullptr && len > 0) // before the WAV data is read
        return SNDTOOLS_ERROR_NULL_POINTER;
    return guarded([&] {
        implant_job job;
        job.wav = wav;
        job.data_size = data_size;
        job.wav_rate = wav_rate;
        job.adpcm_rate = adpcm_rate;
        job.amplification_given = o.amplification_given != 0;
        job.amplification = o.amplification;
        job.sample_len = len;
        job.order = nibble_order_of(o.nibble_order);
        job.threads = o.threads;
        job.best = o.best != 0;
        implant_report found{};
        snd_status status = implant_wav(&job, region, &found);
        if (status.code == snd_ok && report != nullptr)
            *report = found;
        return error_of(status);
    });
}

// The WAV data's bytes of frames_count frames; past any size a job takes
// when the count is (the core refuses it).
int64_t data_size_of(int64_t frames_count)
{
    return frames_count < 0 || frames_count > INT64_MAX / 4 ? -1 : 4 * frames_count;
}

} // namespace
} // namespace sndtools

using namespace sndtools;

extern "C" {

const char *sndtools_error_name(int error)
{
    static const char *const names[] = {
        "no error",
        "a buffer is null where bytes belong",
        "an output buffer's capacity is below what the call writes",
        "out of memory",
        "the WAV file is shorter than its 44-byte header",
        "RIFF not found: no plain RIFF WAVE header with \"fmt \" and \"data\" in place",
        "the WAV file's format chunk is not 16 bytes long",
        "the WAV file's samples are not integer PCM",
        "the WAV file's samples are not 16-bit",
        "the WAV file is not stereo",
        "the region's length is below 0 or past 268435423 bytes",
        "the ADPCM rate is not 1 or more",
        "the WAV rate is out of range",
        "more frames than a WAV file or a count holds",
        "an amplification of 0",
        "the nibble order is neither of the two",
        "fewer than 0 threads",
        "a sample's magnitude is 2^31 - 2048 or more",
        "the WAV frames are fewer than 0, or past what is there",
        "the phrase table does not lie inside the ROM",
        "more phrases than the array holds",
        "the phrases laid out again end past the limit",
        "a count or a number is out of range",
        "the frames do not fit in the room given",
        "not a WAV file: no \"RIFF\" at its start",
        "a RIFF file that is not WAVE",
        "the WAV file has no whole format chunk before its data",
        "the WAV file has no data chunk",
        "the WAV file's samples are compressed: neither integer PCM nor floating point",
        "the WAV file has no channel or more than two",
        "the WAV file's bits per sample (8 to 32, float 32 or 64) or block size is wrong",
        "the write callback did not write all the bytes",
        "the read callback gave fewer bytes than the WAV data holds",
        "a reserved field of the options is not 0",
        "the read callback gave fewer bytes the second time the WAV data was read",
        "the bank shows no such chip address or file offset",
    };
    if (error < 0 || error >= static_cast<int>(sizeof names / sizeof names[0]))
        return "unknown error";
    return names[error];
}

const char *sndtools_version(void)
{
    return SNDTOOLS_VERSION_STRING;
}

int sndtools_version_number(void)
{
    return SNDTOOLS_VERSION_NUMBER;
}

int sndtools_abi(void)
{
    return SNDTOOLS_ABI;
}

// The checks of the codec alone: a region and its samples.
static int check_codec(const void *region, int64_t len, int nibble_order, const void *samples)
{
    int error = error_of(check_job(len, nibble_order_of(nibble_order), false, 0.0f, 0));
    if (error == SNDTOOLS_OK && (region == nullptr || samples == nullptr) && len > 0)
        error = SNDTOOLS_ERROR_NULL_POINTER;
    return error;
}

int sndtools_decode(const unsigned char *region, int64_t len, int nibble_order, int32_t *samples)
{
    if (int error = check_codec(region, len, nibble_order, samples))
        return error;
    ad_state state{0, 0};
    decode_region(&state, region, len, nibble_order_of(nibble_order), samples);
    return SNDTOOLS_OK;
}

int sndtools_encode(const int32_t *samples, int64_t len, int nibble_order, unsigned char *region)
{
    if (int error = check_codec(region, len, nibble_order, samples))
        return error;
    for (int64_t i = 0; i < 2 * len; i++)
        if (samples[i] > max_encode_magnitude || samples[i] < -max_encode_magnitude)
            return SNDTOOLS_ERROR_SAMPLE_RANGE;
    ad_state state{0, 0};
    encode_region(&state, samples, len, nibble_order_of(nibble_order), region);
    return SNDTOOLS_OK;
}

int sndtools_extract_frames(int64_t len, int32_t adpcm_rate, int32_t wav_rate, int64_t *frames)
{
    int64_t count;
    int error = error_of(extract_frames_of(len, adpcm_rate, wav_rate, &count));
    if (error == SNDTOOLS_OK && frames == nullptr)
        error = SNDTOOLS_ERROR_NULL_POINTER;
    if (error == SNDTOOLS_OK)
        *frames = count;
    return error;
}

int sndtools_extract_wav_size(int64_t len, int32_t adpcm_rate, int32_t wav_rate, int64_t *size)
{
    int64_t frames = 0;
    int error =
        sndtools_extract_frames(len, adpcm_rate, wav_rate, size != nullptr ? &frames : nullptr);
    if (error == SNDTOOLS_OK)
        *size = wav_header_size + 4 * frames + 1;
    return error;
}

int sndtools_region_bytes(int64_t frames, int32_t wav_rate, int32_t adpcm_rate, int64_t *bytes)
{
    if (int error = error_of(check_wav_rate(wav_rate, 1)))
        return error;
    if (int error = error_of(check_adpcm_rate(adpcm_rate)))
        return error;
    if (frames < 0 || frames > max_waveblock_size / 4)
        return SNDTOOLS_ERROR_COUNT;
    if (bytes == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    *bytes = region_bytes_for(frames, wav_rate, adpcm_rate);
    return SNDTOOLS_OK;
}

int sndtools_extract_stream(const unsigned char *region, int64_t len, int32_t adpcm_rate,
                            int32_t wav_rate, const sndtools_extract_options *options,
                            sndtools_write_fn write, void *context, sndtools_level *level)
{
    if (write == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    caller_sink caller{write, context};
    byte_sink out{&caller, write_to_caller};
    return extract_into(region, len, adpcm_rate, wav_rate, options, &out, level);
}

int sndtools_extract(const unsigned char *region, int64_t len, int32_t adpcm_rate,
                     int32_t wav_rate, const sndtools_extract_options *options,
                     unsigned char *wav, int64_t capacity, int64_t *written,
                     sndtools_level *level)
{
    int64_t size;
    if (int error = sndtools_extract_wav_size(len, adpcm_rate, wav_rate, &size))
        return error;
    if (capacity < size)
        return SNDTOOLS_ERROR_BUFFER_SIZE;
    if (wav == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    memory_sink room;
    byte_sink out = sink_of_memory(&room, wav, capacity);
    int error = extract_into(region, len, adpcm_rate, wav_rate, options, &out, level);
    if (error == SNDTOOLS_OK && written != nullptr)
        *written = room.used;
    return error;
}

int sndtools_implant_stream(sndtools_read_fn read, void *context, int64_t frames_count,
                            int32_t wav_rate, unsigned char *region, int64_t len,
                            int32_t adpcm_rate, const sndtools_implant_options *options,
                            sndtools_implant_report *report)
{
    if (read == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    int64_t data_size = data_size_of(frames_count);
    byte_source wav{context, read, data_size}; // the same reading function
    return implant_from(&wav, data_size, wav_rate, region, len, adpcm_rate, options, report);
}

int sndtools_implant(const unsigned char *frames, int64_t frames_count, int32_t wav_rate,
                     unsigned char *region, int64_t len, int32_t adpcm_rate,
                     const sndtools_implant_options *options, sndtools_implant_report *report)
{
    if (frames == nullptr && frames_count > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    memory_source in_memory;
    int64_t data_size = data_size_of(frames_count);
    byte_source wav = source_of_memory(&in_memory, frames, data_size);
    return implant_from(&wav, data_size, wav_rate, region, len, adpcm_rate, options, report);
}

int sndtools_wav_header(unsigned char header[44], int64_t frames, int32_t wav_rate)
{
    if (header == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (frames < 0 || frames > max_block_items)
        return SNDTOOLS_ERROR_TOO_MANY_FRAMES;
    if (wav_rate < 0)
        return SNDTOOLS_ERROR_WAV_RATE;
    fill_wav_header(header, static_cast<int>(frames), wav_rate);
    return SNDTOOLS_OK;
}

int sndtools_wav_check(const unsigned char *header, int64_t size, int32_t *wav_rate,
                       int64_t *data_size)
{
    if (size < 0)
        return SNDTOOLS_ERROR_COUNT;
    if (header == nullptr && size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (int error = check_wav_header(header, size < 44 ? int(size) : 44))
        return error;
    if (wav_rate != nullptr)
        *wav_rate = wav_sample_rate(header);
    if (data_size != nullptr)
        *data_size = wav_data_size(header);
    return SNDTOOLS_OK;
}

} // extern "C"
