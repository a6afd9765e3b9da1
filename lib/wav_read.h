// WAV files as editors save them, held whole in memory: the chunks found
// wherever they are, and their samples made into 16-bit stereo frames.
//
// The conversion of a sample into the 16-bit stereo frames the codec takes:
// 16-bit integer samples are taken as they are (a 16-bit stereo file's bytes
// pass through unchanged); 8-bit ones, unsigned, become (v - 128) * 256;
// 24-bit and 32-bit integer ones are divided by 2^8 and 2^16, rounded to
// the nearest integer, a tie to the even one, then clipped to
// -32768..32767; 32-bit and 64-bit floating-point ones are multiplied by
// 32768, rounded the same way and clipped the same way (NaN becomes 0). A
// mono file's sample goes to both channels. The arithmetic is exact, so
// every platform gives the same bytes whatever its rounding mode.
#ifndef SNDTOOLS_WAV_READ_H
#define SNDTOOLS_WAV_READ_H

#include <cstdint>

namespace sndtools {

// What a file is to the reader, in the order it finds out.
enum wav_kind {
    wav_kind_readable,
    wav_kind_no_riff,    // no "RIFF" at its start (file_kind_of says what it is)
    wav_kind_not_wave,   // a RIFF file of another kind than WAVE
    wav_kind_no_format,  // no "fmt " chunk before the data, or one too short
    wav_kind_no_data,    // no "data" chunk
    wav_kind_compressed, // neither integer PCM (1) nor floating point (3), plain or extensible
    wav_kind_channels,   // 0 channels or more than two
    wav_kind_bits        // bits not 8/16/24/32 integer or 32/64 float, or a block
                         // size other than channels * bits / 8
};

struct wav_sound {
    int format_tag;   // 1 or 3 once readable (an extensible file's sub-format)
    bool extensible;  // the format chunk is WAVE_FORMAT_EXTENSIBLE (0xFFFE)
    int channels, bits;
    int rate;         // as the file says it; 0 for one past 2^31 - 1
    int block_align;  // bytes a frame
    int64_t data_at, data_size; // the data's bytes in the file, cut to its end
    int64_t frames;   // the whole frames in them
};

// Reads the chunks of the size bytes of file from offset 12, skipping any
// other than the first "fmt " and the "data" chunk after it (and the pad
// byte after an odd-sized one). A data size of 0xFFFFFFFF (a writer that
// could not go back) or one past the end of the file takes the bytes that
// are there (whole frames); one of 0 is taken as it says, as other chunks
// may follow an empty data chunk. Never reads outside the size bytes.
// *sound is set as far as the reading got.
wav_kind read_wav_sound(const unsigned char *file, int64_t size, wav_sound *sound);

// Whether a readable sound's frames are already 16-bit stereo: its bytes
// are the frames, as they are.
inline bool wav_is_16bit_stereo(const wav_sound &sound)
{
    return sound.format_tag == 1 && sound.bits == 16 && sound.channels == 2;
}

// Frames [first, first + count) of a readable sound, which must lie within
// its frames, as 16-bit stereo little-endian frames (4 bytes each) into out.
void wav_frames_16(const wav_sound &sound, const unsigned char *file, int64_t first,
                   int64_t count, unsigned char *out);

// What a file that is no RIFF WAVE file is, from its first bytes ("an MP3
// file", "an Ogg file", "a FLAC file", "an AIFF file", "a big-endian RIFF
// (RIFX) file", "an RF64 file", "an empty file"); null when not known.
const char *file_kind_of(const unsigned char *file, int64_t size);

// The name of a compressed format tag ("IMA ADPCM", ...); null when not known.
const char *wav_format_name(int tag);

} // namespace sndtools

#endif
