// Whole extractions through the library on arbitrary regions, rates and
// amplifications, as sndextract runs them once its command line is
// accepted: the level, the multiplier and the WAV file. A complete run
// writes a file that the implanter's checks accept, with the frames the
// literal reading gives; a run onto a full device never reports success.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "counts.h"
#include "extract.h"
#include "file_stream.h"
#include "fuzz_input.h"
#include "numbers.h"
#include "reference.h"
#include "sndtools.h"
#include "wav.h"

using namespace sndtools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    run_input in = split_input(data, size, 4);
    int len, freq, rate;
    float amplification = 0;
    const bool fixed = in.choice & 1;
    if (!number_understood(in.lines[0].c_str(), &len) ||
        !number_understood(in.lines[1].c_str(), &freq) ||
        !number_understood(in.lines[2].c_str(), &rate) || len < 0 || freq <= 0 || rate < 0 ||
        (fixed && !amplification_understood(in.lines[3].c_str(), &amplification)))
        return 0; // refused by the command line
    if (static_cast<size_t>(len) > in.file.size())
        return 0;
    const int64_t frames = wav_frames_of_region(len, freq, rate);
    // Runs that would write a large WAV file are the user's to ask for;
    // they only slow the fuzzing down.
    if (frames < 0 || frames > (1 << 16))
        return 0;
    std::vector<unsigned char> region(in.file.begin(), in.file.begin() + len);

    const bool full = (in.choice & 6) == 6;
    FILE *out = full ? fopen("/dev/full", "wb") : tmpfile();
    if (out == nullptr)
        abort();
    byte_sink sink = sink_of_file(out);
    const int threads = 1 + int(in.choice >> 4) % 4;
    extract_job job;
    job.region = region.data();
    job.sample_len = len;
    job.adpcm_rate = freq;
    job.wav_rate = rate;
    job.amplification_given = fixed;
    job.amplification = amplification;
    job.threads = threads;
    level_report level;
    snd_status status = extract_wav(&job, &sink, &level);
    const float multiplier = level.multiplier;
    bool complete = status.code == snd_ok && fflush(out) == 0;
    if (full) {
        if (complete)
            abort(); // a full device reported as success
        fclose(out);
        return 0;
    }
    if (!complete)
        abort();
    long file_size = ftell(out);
    std::vector<unsigned char> wav(static_cast<size_t>(file_size));
    rewind(out);
    if (fread(wav.data(), 1, wav.size(), out) != wav.size())
        abort();
    fclose(out);
    if (wav.size() != 45 + 4 * static_cast<size_t>(frames) ||
        check_wav_header(wav.data(), 44) != wav_ok ||
        wav_data_size(wav.data()) != 4 * frames || wav.back() != 0)
        abort();
    std::vector<int32_t> samples = decoded(region);
    std::vector<unsigned char> plain(4 * static_cast<size_t>(frames));
    if (frames > 0)
        resample_frames_plain(samples.data(), 2 * int64_t(len), freq, rate, multiplier,
                              plain.data(), frames);
    if (frames > 0 && memcmp(plain.data(), wav.data() + 44, plain.size()) != 0)
        abort(); // the fast forms left the literal reading
    // The same WAV file on memory, as a library user makes it.
    std::vector<unsigned char> placed(wav.size());
    sndtools_extract_options options = SNDTOOLS_EXTRACT_OPTIONS_INIT;
    options.amplification_given = fixed;
    options.amplification = amplification;
    options.threads = threads;
    int64_t written = 0;
    if (sndtools_extract(region.data(), int64_t(region.size()), freq, rate, &options,
                         placed.data(), int64_t(placed.size()), &written,
                         nullptr) != SNDTOOLS_OK ||
        written != int64_t(wav.size()) || placed != wav)
        abort();
    return 0;
}
