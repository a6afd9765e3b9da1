// Whole implants through the library on arbitrary WAV files, lengths,
// rates and amplifications, as sndimplant runs them once its command line
// and the header are accepted: the first reading with the level, the second
// into the encoder. Data shorter than its header says is refused at the
// first reading with the bytes that were there; otherwise the region is
// the one the literal reading and the code-by-code encoder give, the same
// from a file (read at offsets, or in turn as where the system cannot) as
// from an input that is held whole (a pipe).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "counts.h"
#include "file_stream.h"
#include "fuzz_input.h"
#include "implant.h"
#include "numbers.h"
#include "reference.h"
#include "wav.h"

using namespace sndtools;

// The implant of the file's data, from the file through its adapter or
// held in memory (as the program holds a pipe's).
static std::vector<unsigned char> implant(const std::string &file, bool held, int rate_in,
                                          int rate_out, bool fixed, float amplification, int len,
                                          snd_status *status, float *multiplier)
{
    FILE *f = tmpfile();
    if (f == nullptr || fwrite(file.data(), 1, file.size(), f) != file.size() ||
        fseek(f, wav_header_size, SEEK_SET) != 0)
        abort();
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(file.data());
    file_source from_file;
    memory_source in_memory;
    int64_t there = static_cast<int64_t>(file.size()) - wav_header_size;
    byte_source wav = held ? source_of_memory(&in_memory, bytes + wav_header_size, there)
                           : source_of_file(&from_file, f, wav_header_size, there);
    std::vector<unsigned char> region(static_cast<size_t>(len));
    implant_job job;
    job.wav = &wav;
    job.data_size = wav_data_size(bytes);
    job.wav_rate = rate_in;
    job.adpcm_rate = rate_out;
    job.amplification_given = fixed;
    job.amplification = amplification;
    job.sample_len = len;
    implant_report report{};
    *status = implant_wav(&job, region.data(), &report);
    *multiplier = report.level.multiplier;
    fclose(f);
    return region;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    run_input in = split_input(data, size, 3);
    int len, rate_out;
    float amplification = 0;
    const bool fixed = in.choice & 1;
    if (!number_understood(in.lines[0].c_str(), &len) ||
        !number_understood(in.lines[1].c_str(), &rate_out) || len < 0 || len > (1 << 16) ||
        rate_out <= 0 || (fixed && !amplification_understood(in.lines[2].c_str(), &amplification)))
        return 0; // refused by the command line, or only slow
    const unsigned char *hdr = reinterpret_cast<const unsigned char *>(in.file.data());
    if (check_wav_header(hdr, in.file.size() < 44 ? static_cast<int>(in.file.size()) : 44) != wav_ok)
        return 0;
    int rate_in = wav_sample_rate(hdr), data_size = wav_data_size(hdr);
    int64_t scan_count = wav_frames_of_region(len, rate_out, rate_in);
    if (rate_in <= 0 || data_size < 0 || data_size > (1 << 22) || scan_count < 0 ||
        scan_count > INT32_MAX)
        return 0; // refused after the header
    // The data as its header promises, whatever else the file holds.
    std::string file = in.file.substr(0, 44 + static_cast<size_t>(data_size));
    snd_status from_file, held;
    float multiplier;
    std::vector<unsigned char> a = implant(file, false, rate_in, rate_out, fixed,
                                           amplification, len, &from_file, &multiplier);
    std::vector<unsigned char> b = implant(file, true, rate_in, rate_out, fixed,
                                           amplification, len, &held, &multiplier);
    bool whole = file.size() == 44 + static_cast<size_t>(data_size);
    if (from_file.code != held.code || (from_file.code == snd_ok) != whole || a != b)
        abort();
    // Data shorter than its header says: refused with the bytes there were.
    if (!whole && (from_file.wanted != data_size ||
                   from_file.got != static_cast<int64_t>(file.size()) - 44))
        abort();
    if (whole) {
        std::vector<int32_t> samples(2 * static_cast<size_t>(len));
        const unsigned char *frames = reinterpret_cast<const unsigned char *>(file.data()) + 44;
        resample_input_plain(frames, data_size / 4, rate_in, rate_out, multiplier,
                             samples.data(), 2 * int64_t(len));
        if (encoded(samples) != a)
            abort(); // the fast forms left the literal reading
    }
    return 0;
}
