// The public C interface (include/sndtools.h) over the core: arguments
// checked as the programs check them, then the core's own paths on memory.
#include "sndtools.h"

#include <cstdlib>
#include <new>

#include "codec.h"
#include "extract.h"
#include "implant.h"
#include "numbers.h"
#include "wav.h"

using namespace sndtools;

namespace {

// What the programs refuse: lengths whose work would pass 2^31 bytes.
const int64_t max_region = max_block_items / 2;

bool order_known(int order)
{
    return order == SNDTOOLS_HIGH_NIBBLE_FIRST || order == SNDTOOLS_LOW_NIBBLE_FIRST;
}

nibble_order order_of(int order)
{
    return order == SNDTOOLS_LOW_NIBBLE_FIRST ? low_nibble_first : high_nibble_first;
}

// A buffer of count items may be null only when it is empty.
bool present(const void *p, size_t count)
{
    return p != nullptr || count == 0;
}

void report(sndtools_level *level, int32_t max_val, int32_t min_val, int32_t peak,
            float multiplier)
{
    if (level != nullptr)
        *level = sndtools_level{max_val, min_val, peak, multiplier};
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
    if (!present(region, len) || !present(samples, len) || !order_known(nibble_order))
        return SNDTOOLS_ERROR_ARGUMENT;
    ad_state state{0, 0};
    decode_region(&state, region, int64_t(len), order_of(nibble_order), samples);
    return SNDTOOLS_OK;
}

int sndtools_encode(const int32_t *samples, size_t len, int nibble_order, unsigned char *region)
{
    if (!present(region, len) || !present(samples, len) || !order_known(nibble_order))
        return SNDTOOLS_ERROR_ARGUMENT;
    for (size_t i = 0; i < 2 * len; i++)
        if (samples[i] > 2147481599 || samples[i] < -2147481599)
            return SNDTOOLS_ERROR_ARGUMENT;
    ad_state state{0, 0};
    encode_region(&state, samples, int64_t(len), order_of(nibble_order), region);
    return SNDTOOLS_OK;
}

int64_t sndtools_extract_frames(size_t len, int32_t rate_in, int32_t rate_out)
{
    if (rate_in <= 0 || rate_out < 0 || len > size_t(max_region))
        return -1;
    int64_t frames = frames_for(rate_out, duration_of(2 * int(len), rate_in));
    return frames < 0 || frames > max_block_items ? -1 : frames;
}

int sndtools_extract(const unsigned char *region, size_t len, int nibble_order, int32_t rate_in,
                     int32_t rate_out, const float *amplification, unsigned char *frames,
                     size_t frames_size, sndtools_level *level, int threads)
{
    int64_t count = sndtools_extract_frames(len, rate_in, rate_out);
    if (count < 0 || !present(region, len) || !order_known(nibble_order) ||
        (amplification != nullptr && *amplification == 0.0f))
        return SNDTOOLS_ERROR_ARGUMENT;
    if (frames_size != size_t(4 * count) || !present(frames, frames_size))
        return SNDTOOLS_ERROR_BUFFER_SIZE;
    return guarded([&] {
        extract_job job{region, int64_t(len), order_of(nibble_order), rate_in, rate_out,
                        amplification != nullptr ? *amplification : 0.0f, count,
                        threads > 1 ? threads : 1};
        int64_t size;
        extract_work *work = take_extract_work(&job, &size);
        if (work == nullptr)
            return SNDTOOLS_ERROR_NO_MEMORY;
        int32_t max_val, min_val;
        region_level(work, &job, &max_val, &min_val);
        int32_t peak_to_peak = peak_to_peak_of(max_val, min_val);
        if (amplification == nullptr)
            job.multiplier = extract_multiplier(peak_to_peak);
        report(level, max_val, min_val, peak_to_peak, job.multiplier);
        place_all_frames(work, &job, frames);
        free_extract_work(work);
        return SNDTOOLS_OK;
    });
}

int sndtools_implant(const unsigned char *frames, size_t frames_count, int32_t rate_in,
                     int32_t rate_out, const float *amplification, unsigned char *region,
                     size_t len, int nibble_order, sndtools_level *level, int threads)
{
    if (rate_in <= 0 || rate_out <= 0 || len > size_t(max_region) ||
        frames_count > size_t(INT32_MAX / 4) || !present(frames, frames_count) ||
        !present(region, len) || !order_known(nibble_order) ||
        (amplification != nullptr && *amplification == 0.0f))
        return SNDTOOLS_ERROR_ARGUMENT;
    int64_t scan_count = frames_for(rate_in, duration_of(2 * int(len), rate_out));
    if (scan_count < 0 || scan_count > INT32_MAX)
        return SNDTOOLS_ERROR_ARGUMENT;
    return guarded([&] {
        wav_data data{nullptr, -1, 4 * int64_t(frames_count), const_cast<unsigned char *>(frames)};
        int64_t size;
        implant_work *work = take_implant_work(threads, data.size, &size);
        if (work == nullptr)
            return SNDTOOLS_ERROR_NO_MEMORY;
        int32_t max_val, min_val;
        wav_level(work, &data, scan_count, &max_val, &min_val); // on memory: nothing to fail
        int32_t peak = implant_peak(max_val, min_val);
        implant_job job{rate_in, rate_out,
                        amplification != nullptr ? *amplification : implant_multiplier(peak),
                        region, int64_t(len), order_of(nibble_order)};
        report(level, max_val, min_val, peak, job.multiplier);
        encode_wav(work, wav_read_piece / 4, &data, &job);
        free_implant_work(work);
        return SNDTOOLS_OK;
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
