// Whole runs of sndextract on arbitrary input files and argument values.
// Every run ends with status 0 or 1; a refused run leaves an existing output
// file as it was; a run onto a full device never reports success; a
// complete run writes a WAV file that the implanter's checks accept.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "params.h"
#include "run_harness.h"
#include "wav_header.h"

int sndextract_main(int argc, char **argv);
void release_run();

// Frames a run would produce, or -1 when the values are refused anyway.
static int64_t expected_frames(const run_input &in)
{
    int len, freq, rate;
    if (num_param(in.lines[1].c_str(), &len) || num_param(in.lines[2].c_str(), &freq) ||
        num_param(in.lines[3].c_str(), &rate) || len < 0 || freq <= 0 ||
        len > max_block_items / 2)
        return -1;
    return frames_for(rate, duration_of(len + len, freq));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    run_input in = split_input(data, size, 5);
    // Runs that would ask for a large WAV file are the user's to ask for;
    // they only slow the fuzzing down.
    if (expected_frames(in) > (1 << 18))
        return 0;
    const std::string dir = scratch();
    const std::string filein = dir + "/region.bin";
    spill(filein, in.file);
    const std::string old = "old output";
    std::string fileout = dir + "/out.wav";
    unsigned kind = in.target_kind % 4;
    if (kind == 0)
        remove(fileout.c_str());
    else if (kind == 1)
        spill(fileout, old);
    else if (kind == 2)
        fileout = dir + "/no/such/dir/out.wav";
    else
        fileout = "/dev/full";

    std::vector<std::string> args = {"sndextract", filein, in.lines[0], in.lines[1],
                                     in.lines[2], in.lines[3], fileout};
    if (in.choice & 1)
        args.push_back(in.lines[4]);
    if ((in.choice & 0xF0) == 0xF0)
        args.resize(in.choice & 7); // a wrong argument count
    int status = run_in_process(sndextract_main, release_run, args);
    if (status != 0 && status != 1)
        abort();
    bool exists = false;
    std::string out = kind < 2 ? slurp(fileout, &exists) : std::string();
    if (status == 1 && kind == 1 && out != old)
        abort(); // a refused run changed the output file
    if (status == 0 && kind == 3)
        abort(); // a full device reported as success
    if (status == 0 && kind < 2) {
        if (out.size() < 45 || (out.size() - 45) % 4 != 0)
            abort();
        const unsigned char *hdr = reinterpret_cast<const unsigned char *>(out.data());
        if (check_wav_header(hdr, 44) != wav_ok ||
            wav_data_size(hdr) != static_cast<int>(out.size() - 45) || out.back() != '\0')
            abort();
    }
    return 0;
}
