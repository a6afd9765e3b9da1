// The public C interface to the WAV reader: any WAV file an editor saves,
// as the 16-bit stereo frames the codec takes.
#include "sndtools.h"

#include "wav_read.h"

using namespace sndtools;

static_assert(SNDTOOLS_ERROR_WAV_NO_RIFF + wav_kind_bits - wav_kind_no_riff ==
                  SNDTOOLS_ERROR_WAV_BITS,
              "an error code for each kind the reader refuses, in its order");

extern "C" int sndtools_read_wav(const unsigned char *wav, int64_t size, unsigned char *frames,
                                 int64_t max_frames, int64_t *frames_count, int32_t *rate)
{
    if (frames_count != nullptr)
        *frames_count = 0;
    if (rate != nullptr)
        *rate = 0;
    if (size < 0 || max_frames < 0)
        return SNDTOOLS_ERROR_COUNT;
    if (wav == nullptr && size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    wav_sound sound;
    wav_kind kind = read_wav_sound(wav, size, &sound);
    if (kind != wav_kind_readable)
        return SNDTOOLS_ERROR_WAV_NO_RIFF + (kind - wav_kind_no_riff);
    if (frames_count != nullptr)
        *frames_count = sound.frames;
    if (rate != nullptr)
        *rate = sound.rate;
    if (frames == nullptr) // measured
        return max_frames == 0 ? SNDTOOLS_OK : SNDTOOLS_ERROR_NULL_POINTER;
    if (max_frames < sound.frames)
        return SNDTOOLS_ERROR_FRAMES_ROOM;
    wav_frames_16(sound, wav, 0, sound.frames, frames);
    return SNDTOOLS_OK;
}
