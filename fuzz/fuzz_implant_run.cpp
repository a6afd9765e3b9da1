// Whole implants through the library on arbitrary WAV files, lengths,
// rates and amplifications, as sndimplant runs them once its command line
// and the header are accepted: the first reading with the level, the second
// into the encoder. Data shorter than its header says is refused at the
// first reading with the bytes that were there; otherwise the region is
// the one the literal reading and the code-by-code encoder give, the same
// from a file as from an input that is held whole (a pipe).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "implant.h"
#include "numbers.h"
#include "reference.h"
#include "wav.h"

using namespace sndtools;

static std::vector<unsigned char> implant(const std::string &file, bool held, int64_t scan_count,
                                          int rate_in, int rate_out, bool fixed,
                                          float amplification, int len, snd_code *code)
{
    FILE *f = tmpfile();
    if (f == nullptr || fwrite(file.data(), 1, file.size(), f) != file.size() ||
        fseek(f, wav_header_size, SEEK_SET) != 0)
        abort();
    wav_data data{f, held ? -1 : static_cast<int64_t>(file.size()),
                  wav_data_size(reinterpret_cast<const unsigned char *>(file.data())), nullptr};
    std::vector<unsigned char> region(static_cast<size_t>(len));
    int64_t work_size;
    implant_work *work = take_implant_work(1, data.size, &work_size);
    int32_t max_val, min_val;
    snd_status status = wav_level(work, &data, scan_count, &max_val, &min_val);
    if (status.code == snd_ok) {
        float multiplier = fixed ? amplification : implant_multiplier(implant_peak(max_val, min_val));
        implant_job job{rate_in, rate_out, multiplier, region.data(), len, high_nibble_first};
        status = encode_wav(work, wav_read_piece / 4, &data, &job);
        if (status.code == snd_ok) {
            std::vector<int32_t> samples(2 * static_cast<size_t>(len));
            const unsigned char *frames = reinterpret_cast<const unsigned char *>(file.data()) + 44;
            resample_input_plain(frames, data.size / 4, rate_in, rate_out, multiplier,
                                 samples.data(), 2 * int64_t(len));
            if (encoded(samples) != region)
                abort(); // the fast forms left the literal reading
        }
    }
    if (status.code == snd_data_short &&
        (status.wanted != data.size || status.got != static_cast<int64_t>(file.size()) - 44))
        abort();
    *code = status.code;
    free_implant_work(work);
    free(data.held);
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
    int64_t scan_count = frames_for(rate_in, duration_of(len + len, rate_out));
    if (rate_in <= 0 || data_size < 0 || data_size > (1 << 22) || scan_count < 0 ||
        scan_count > INT32_MAX)
        return 0; // refused after the header
    // The data as its header promises, whatever else the file holds.
    std::string file = in.file.substr(0, 44 + static_cast<size_t>(data_size));
    snd_code from_file, from_pipe;
    std::vector<unsigned char> a = implant(file, false, scan_count, rate_in, rate_out, fixed,
                                           amplification, len, &from_file);
    std::vector<unsigned char> b = implant(file, true, scan_count, rate_in, rate_out, fixed,
                                           amplification, len, &from_pipe);
    bool whole = file.size() == 44 + static_cast<size_t>(data_size);
    if (from_file != from_pipe || (from_file == snd_ok) != whole || a != b)
        abort();
    return 0;
}
