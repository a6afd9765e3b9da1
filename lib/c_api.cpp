// The public C interface (include/sndtools.h) over the core: arguments
// checked as the programs check them, then the core's own paths on memory.
#include "sndtools.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "codec.h"
#include "counts.h"
#include "extract.h"
#include "implant.h"
#include "wav.h"

namespace sndtools {
namespace {

// Lengths past what a job takes stay past it as int64_t.
int64_t length_of(size_t len)
{
    return len > size_t(max_region_bytes) ? max_region_bytes + 1 : int64_t(len);
}

int error_of(snd_status status)
{
    switch (status.code) {
    case snd_ok:
        return SNDTOOLS_OK;
    case snd_no_memory:
        return SNDTOOLS_ERROR_NO_MEMORY;
    default:
        return SNDTOOLS_ERROR_ARGUMENT;
    }
}

// A buffer of count items may be null only when it is empty.
bool present(const void *p, size_t count)
{
    return p != nullptr || count == 0;
}

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
    memcpy(f->room.bytes + f->room.used, bytes + skipped, static_cast<size_t>(n));
    f->room.used += n;
    return true;
}

// The body of a call, with what escapes it (memory for a thread's
// bookkeeping, say) turned into an error.
template <typename body_fn> int guarded(body_fn body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return SNDTOOLS_ERROR_NO_MEMORY;
    } catch (...) {
        return SNDTOOLS_ERROR_ARGUMENT;
    }
}

} // namespace
} // namespace sndtools

using namespace sndtools;

extern "C" {

const char *sndtools_error_name(int error)
{
    switch (error) {
    case SNDTOOLS_OK:
        return "no error";
    case SNDTOOLS_ERROR_ARGUMENT:
        return "an argument is out of range";
    case SNDTOOLS_ERROR_BUFFER_SIZE:
        return "an output buffer's size is not what the call makes";
    case SNDTOOLS_ERROR_NO_MEMORY:
        return "out of memory";
    case SNDTOOLS_ERROR_WAV_TOO_SHORT:
        return "the WAV file is shorter than its 44-byte header";
    case SNDTOOLS_ERROR_WAV_NOT_RIFF:
        return "RIFF not found: no plain RIFF WAVE header with \"fmt \" and \"data\" in place";
    case SNDTOOLS_ERROR_WAV_FORMAT_LENGTH:
        return "the WAV file's format chunk is not 16 bytes long";
    case SNDTOOLS_ERROR_WAV_NOT_PCM:
        return "the WAV file's samples are not integer PCM";
    case SNDTOOLS_ERROR_WAV_NOT_16_BIT:
        return "the WAV file's samples are not 16-bit";
    case SNDTOOLS_ERROR_WAV_NOT_STEREO:
        return "the WAV file is not stereo";
    default:
        return "unknown error";
    }
}

const char *sndtools_version(void)
{
    return SNDTOOLS_VERSION_STRING;
}

int sndtools_decode(const unsigned char *region, size_t len, int nibble_order, int32_t *samples)
{
    snd_status status = check_job(region, length_of(len), sndtools::nibble_order(nibble_order),
                                  false, 0.0f, 0);
    if (status.code != snd_ok || !present(samples, len))
        return SNDTOOLS_ERROR_ARGUMENT;
    ad_state state{0, 0};
    decode_region(&state, region, int64_t(len), sndtools::nibble_order(nibble_order), samples);
    return SNDTOOLS_OK;
}

int sndtools_encode(const int32_t *samples, size_t len, int nibble_order, unsigned char *region)
{
    snd_status status = check_job(region, length_of(len), sndtools::nibble_order(nibble_order),
                                  false, 0.0f, 0);
    if (status.code != snd_ok || !present(samples, len))
        return SNDTOOLS_ERROR_ARGUMENT;
    for (size_t i = 0; i < 2 * len; i++)
        if (samples[i] > max_encode_magnitude || samples[i] < -max_encode_magnitude)
            return SNDTOOLS_ERROR_ARGUMENT;
    ad_state state{0, 0};
    encode_region(&state, samples, int64_t(len), sndtools::nibble_order(nibble_order), region);
    return SNDTOOLS_OK;
}

int64_t sndtools_extract_frames(size_t len, int32_t rate_in, int32_t rate_out)
{
    int64_t frames;
    return extract_frames_of(length_of(len), rate_in, rate_out, &frames).code == snd_ok ? frames
                                                                                        : -1;
}

int sndtools_extract(const unsigned char *region, size_t len, int nibble_order, int32_t rate_in,
                     int32_t rate_out, const float *amplification, unsigned char *frames,
                     size_t frames_size, sndtools_level *level, int threads)
{
    const sndtools::nibble_order order = sndtools::nibble_order(nibble_order);
    int64_t count = 0;
    snd_status status = check_job(region, length_of(len), order, amplification != nullptr,
                                  amplification != nullptr ? *amplification : 0.0f, 0);
    if (status.code == snd_ok)
        status = extract_frames_of(length_of(len), rate_in, rate_out, &count);
    if (status.code != snd_ok)
        return error_of(status);
    if (frames_size != size_t(4 * count) || !present(frames, frames_size))
        return SNDTOOLS_ERROR_BUFFER_SIZE;
    return guarded([&] {
        frames_sink into{memory_sink{frames, int64_t(frames_size), 0}, wav_header_size};
        byte_sink out{&into, write_frames};
        extract_job job{region, int64_t(len), order, rate_in, rate_out, amplification != nullptr,
                        amplification != nullptr ? *amplification : 0.0f,
                        threads > 1 ? threads : 1, &out, nullptr, nullptr};
        level_report found;
        status = extract_wav(&job, &found);
        if (status.code == snd_ok)
            report(level, found);
        return error_of(status);
    });
}

int sndtools_implant(const unsigned char *frames, size_t frames_count, int32_t rate_in,
                     int32_t rate_out, const float *amplification, unsigned char *region,
                     size_t len, int nibble_order, sndtools_level *level, int threads)
{
    if (frames_count > size_t(max_waveblock_size / 4) || !present(frames, frames_count))
        return SNDTOOLS_ERROR_ARGUMENT;
    return guarded([&] {
        memory_source held;
        byte_source wav = source_of_memory(&held, frames, 4 * int64_t(frames_count));
        implant_job job{&wav, wav.size, rate_in, rate_out, amplification != nullptr,
                        amplification != nullptr ? *amplification : 0.0f, region, length_of(len),
                        sndtools::nibble_order(nibble_order), threads > 1 ? threads : 1,
                        nullptr, nullptr};
        implant_report found;
        snd_status status = implant_wav(&job, &found);
        if (status.code == snd_ok)
            report(level, found.level);
        return error_of(status);
    });
}

void sndtools_wav_header(unsigned char header[44], int32_t frames, int32_t rate)
{
    fill_wav_header(header, frames, rate);
}

int sndtools_wav_check(const unsigned char *header, size_t size, int32_t *rate,
                       int32_t *data_size)
{
    if (!present(header, size))
        return SNDTOOLS_ERROR_ARGUMENT;
    switch (check_wav_header(header, size < 44 ? int(size) : 44)) {
    case wav_ok:
        break;
    case wav_too_short:
        return SNDTOOLS_ERROR_WAV_TOO_SHORT;
    case wav_not_riff:
        return SNDTOOLS_ERROR_WAV_NOT_RIFF;
    case wav_bad_fmt:
        return SNDTOOLS_ERROR_WAV_FORMAT_LENGTH;
    case wav_not_pcm:
        return SNDTOOLS_ERROR_WAV_NOT_PCM;
    case wav_not_16bit:
        return SNDTOOLS_ERROR_WAV_NOT_16_BIT;
    case wav_not_stereo:
        return SNDTOOLS_ERROR_WAV_NOT_STEREO;
    }
    if (rate != nullptr)
        *rate = wav_sample_rate(header);
    if (data_size != nullptr)
        *data_size = wav_data_size(header);
    return SNDTOOLS_OK;
}

} // extern "C"
