// The public C interface (include/sndtools.h) over the core: the core's
// statuses turned into the interface's error codes, its jobs on memory.
#include "sndtools.h"

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

int error_of(snd_status status)
{
    switch (status.code) {
    case snd_ok:
        return SNDTOOLS_OK;
    case snd_no_memory:
        return SNDTOOLS_ERROR_NO_MEMORY;
    case snd_write_failed:
        return SNDTOOLS_ERROR_BUFFER_SIZE;
    case snd_bad_length:
        return SNDTOOLS_ERROR_LENGTH;
    case snd_bad_adpcm_rate:
        return SNDTOOLS_ERROR_ADPCM_RATE;
    case snd_bad_wav_rate:
        return SNDTOOLS_ERROR_WAV_RATE;
    case snd_too_many_frames:
        return SNDTOOLS_ERROR_TOO_MANY_FRAMES;
    case snd_bad_amplification:
        return SNDTOOLS_ERROR_AMPLIFICATION;
    case snd_bad_order:
        return SNDTOOLS_ERROR_NIBBLE_ORDER;
    case snd_bad_threads:
        return SNDTOOLS_ERROR_THREADS;
    case snd_no_buffer:
        return SNDTOOLS_ERROR_NULL_POINTER;
    default: // the data's size, or a reading that memory cannot fail
        return SNDTOOLS_ERROR_DATA_SIZE;
    }
}

namespace {

void report(sndtools_level *level, const level_report &found)
{
    if (level != nullptr)
        *level = sndtools_level{found.max_val, found.min_val, found.peak, found.multiplier};
}

// The frames of the WAV file an extraction writes, without its header and
// trailing byte, into the caller's buffer.
struct frames_sink {
    memory_sink room;
    int64_t skip; // header bytes still to pass over
};

bool write_frames(void *context, const unsigned char *bytes, int64_t n)
{
    frames_sink *f = static_cast<frames_sink *>(context);
    int64_t skipped = n < f->skip ? n : f->skip;
    f->skip -= skipped;
    int64_t room = f->room.size - f->room.used;
    n -= skipped;
    if (n > room) // the trailing zero byte
        n = room;
    if (n > 0)
        memcpy(f->room.bytes + f->room.used, bytes + skipped, static_cast<size_t>(n));
    f->room.used += n;
    return true;
}

// The checks of an extraction, and its frames.
int check_extraction(const unsigned char *region, int64_t len, int nibble_order,
                     int32_t rate_in, int32_t rate_out, const float *amplification, int threads,
                     int64_t *frames)
{
    *frames = 0;
    snd_status status = check_job(len, nibble_order_of(nibble_order), amplification != nullptr,
                                  amplification != nullptr ? *amplification : 0.0f, threads);
    if (status.code == snd_ok && region == nullptr && len > 0)
        status = snd_status_of(snd_no_buffer);
    if (status.code == snd_ok)
        status = extract_frames_of(len, rate_in, rate_out, frames);
    return error_of(status);
}

// The extraction into out, once its buffer's size is checked.
int run_extraction(const unsigned char *region, int64_t len, int nibble_order, int32_t rate_in,
                   int32_t rate_out, const float *amplification, byte_sink *out,
                   sndtools_level *level, int threads)
{
    return guarded([&] {
        extract_job job;
        job.region = region;
        job.sample_len = len;
        job.order = nibble_order_of(nibble_order);
        job.adpcm_rate = rate_in;
        job.wav_rate = rate_out;
        job.amplification_given = amplification != nullptr;
        job.amplification = amplification != nullptr ? *amplification : 0.0f;
        job.threads = threads;
        level_report found;
        snd_status status = extract_wav(&job, out, &found);
        if (status.code == snd_ok)
            report(level, found);
        return error_of(status);
    });
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
        "an output buffer's size is not what the call makes",
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
    };
    if (error < 0 || error >= static_cast<int>(sizeof names / sizeof names[0]))
        return "unknown error";
    return names[error];
}

const char *sndtools_version(void)
{
    return SNDTOOLS_VERSION_STRING;
}

// The checks of the codec alone: a region and its samples.
static int check_codec(const void *region, int64_t len, int nibble_order, const void *samples)
{
    int error = error_of(check_job(len, nibble_order_of(nibble_order), false, 0.0f, 0));
    if (error == SNDTOOLS_OK && (samples == nullptr || region == nullptr) && len > 0)
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

int sndtools_extract_frames(int64_t len, int32_t rate_in, int32_t rate_out, int64_t *frames)
{
    int64_t count;
    int error = error_of(extract_frames_of(len, rate_in, rate_out, &count));
    if (error == SNDTOOLS_OK && frames == nullptr)
        error = SNDTOOLS_ERROR_NULL_POINTER;
    if (error == SNDTOOLS_OK)
        *frames = count;
    return error;
}

int sndtools_extract_wav_size(int64_t len, int32_t rate_in, int32_t rate_out, int64_t *size)
{
    int64_t frames = 0;
    int error = sndtools_extract_frames(len, rate_in, rate_out, size != nullptr ? &frames : nullptr);
    if (error == SNDTOOLS_OK)
        *size = wav_header_size + 4 * frames + 1;
    return error;
}

int sndtools_region_bytes(int64_t frames, int32_t wav_rate, int32_t adpcm_rate, int64_t *bytes)
{
    if (wav_rate < 1)
        return SNDTOOLS_ERROR_WAV_RATE;
    if (adpcm_rate < 1)
        return SNDTOOLS_ERROR_ADPCM_RATE;
    if (frames < 0 || frames > max_waveblock_size / 4)
        return SNDTOOLS_ERROR_COUNT;
    if (bytes == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    *bytes = region_bytes_for(frames, wav_rate, adpcm_rate);
    return SNDTOOLS_OK;
}

int sndtools_extract_wav(const unsigned char *region, int64_t len, int nibble_order,
                         int32_t rate_in, int32_t rate_out, const float *amplification,
                         unsigned char *wav, int64_t wav_size, sndtools_level *level, int threads)
{
    int64_t frames;
    int error = check_extraction(region, len, nibble_order, rate_in, rate_out, amplification,
                                 threads, &frames);
    if (error != SNDTOOLS_OK)
        return error;
    if (wav == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (wav_size != wav_header_size + 4 * frames + 1)
        return SNDTOOLS_ERROR_BUFFER_SIZE;
    memory_sink room;
    byte_sink out = sink_of_memory(&room, wav, wav_size);
    return run_extraction(region, len, nibble_order, rate_in, rate_out, amplification, &out,
                          level, threads);
}

int sndtools_extract(const unsigned char *region, int64_t len, int nibble_order, int32_t rate_in,
                     int32_t rate_out, const float *amplification, unsigned char *frames,
                     int64_t frames_size, sndtools_level *level, int threads)
{
    int64_t count;
    int error = check_extraction(region, len, nibble_order, rate_in, rate_out, amplification,
                                 threads, &count);
    if (error != SNDTOOLS_OK)
        return error;
    if (frames == nullptr && frames_size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (frames_size != 4 * count)
        return SNDTOOLS_ERROR_BUFFER_SIZE;
    frames_sink into{memory_sink{frames, frames_size, 0}, wav_header_size};
    byte_sink out{&into, write_frames};
    return run_extraction(region, len, nibble_order, rate_in, rate_out, amplification, &out,
                          level, threads);
}

int sndtools_implant(const unsigned char *frames, int64_t frames_count, int32_t rate_in,
                     int32_t rate_out, const float *amplification, unsigned char *region,
                     int64_t len, int nibble_order, sndtools_level *level,
                     sndtools_frames_used *used, int threads)
{
    if (frames_count < 0 || frames_count > max_waveblock_size / 4)
        return SNDTOOLS_ERROR_DATA_SIZE;
    if (frames == nullptr && frames_count > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    return guarded([&] {
        memory_source held;
        byte_source wav = source_of_memory(&held, frames, 4 * frames_count);
        implant_job job;
        job.wav = &wav;
        job.data_size = wav.size;
        job.wav_rate = rate_in;
        job.adpcm_rate = rate_out;
        job.amplification_given = amplification != nullptr;
        job.amplification = amplification != nullptr ? *amplification : 0.0f;
        job.sample_len = len;
        job.order = nibble_order_of(nibble_order);
        job.threads = threads;
        implant_report found;
        snd_status status = implant_wav(&job, region, &found);
        if (status.code == snd_ok) {
            report(level, found.level);
            if (used != nullptr)
                *used = sndtools_frames_used{found.frames_used, found.filled_with_silence};
        }
        return error_of(status);
    });
}

int sndtools_wav_header(unsigned char header[44], int64_t frames, int32_t rate)
{
    if (header == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (frames < 0 || frames > max_block_items)
        return SNDTOOLS_ERROR_TOO_MANY_FRAMES;
    if (rate < 0)
        return SNDTOOLS_ERROR_WAV_RATE;
    fill_wav_header(header, static_cast<int>(frames), rate);
    return SNDTOOLS_OK;
}

int sndtools_wav_check(const unsigned char *header, int64_t size, int32_t *rate,
                       int64_t *data_size)
{
    if (size < 0)
        return SNDTOOLS_ERROR_COUNT;
    if (header == nullptr && size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    static const int errors[] = {SNDTOOLS_OK,
                                 SNDTOOLS_ERROR_WAV_TOO_SHORT,
                                 SNDTOOLS_ERROR_WAV_NOT_RIFF,
                                 SNDTOOLS_ERROR_WAV_FORMAT_LENGTH,
                                 SNDTOOLS_ERROR_WAV_NOT_PCM,
                                 SNDTOOLS_ERROR_WAV_NOT_16_BIT,
                                 SNDTOOLS_ERROR_WAV_NOT_STEREO};
    int error = errors[check_wav_header(header, size < 44 ? int(size) : 44)];
    if (error != SNDTOOLS_OK)
        return error;
    if (rate != nullptr)
        *rate = wav_sample_rate(header);
    if (data_size != nullptr)
        *data_size = wav_data_size(header);
    return SNDTOOLS_OK;
}

} // extern "C"
