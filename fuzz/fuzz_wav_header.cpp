// The WAV header reading and checking step on arbitrary bytes: it gives one
// of the outcomes of the checks, agrees with the checks done here by hand,
// and never reads past what it was given (the bytes sit in a heap block of
// exactly their size, so a read past them is an AddressSanitizer report).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fields.h"
#include "sndtools.h"
#include "wav.h"

using namespace sndtools;

static wav_check expected_outcome(const unsigned char *h, size_t size)
{
    if (size < 44)
        return wav_too_short;
    if (memcmp(h, "RIFF", 4) || memcmp(h + 8, "WAVE", 4) || memcmp(h + 12, "fmt ", 4) ||
        memcmp(h + 36, "data", 4))
        return wav_not_riff;
    if (h[16] != 16 || h[17] || h[18] || h[19])
        return wav_bad_fmt;
    if (h[20] != 1 || h[21])
        return wav_not_pcm;
    if (h[34] != 16 || h[35])
        return wav_not_16bit;
    if (h[22] != 2 || h[23])
        return wav_not_stereo;
    return wav_ok;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<unsigned char> exact(data, data + size);
    int got = size < 44 ? static_cast<int>(size) : 44;
    wav_check outcome = check_wav_header(exact.data(), got);
    if (outcome != expected_outcome(exact.data(), size))
        abort();
    // As a library user checks it: the same outcome, the same numbers.
    int32_t rate = 0;
    int64_t data_size = 0;
    int error = sndtools_wav_check(exact.data(), int64_t(size), &rate, &data_size);
    if ((error == SNDTOOLS_OK) != (outcome == wav_ok) ||
        (error == SNDTOOLS_OK && (rate != wav_sample_rate(exact.data()) ||
                                  data_size != wav_data_size(exact.data()))))
        abort();

    if (outcome == wav_ok && (wav_sample_rate(exact.data()) != grab_intval(exact.data() + 24, 4) ||
                              wav_data_size(exact.data()) != grab_intval(exact.data() + 40, 4)))
        abort();
    return 0;
}
