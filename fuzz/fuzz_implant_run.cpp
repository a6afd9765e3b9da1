// Whole runs of sndimplant on arbitrary WAV files, targets and argument
// values. Every run ends with status 0 or 1; a refused run leaves an
// existing target byte for byte as it was; a complete run changes only the
// region (a gap before it reads as zero bytes); a run onto a full device
// never reports success.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "params.h"
#include "run_harness.h"

int sndimplant_main(int argc, char **argv);
void release_run();

static void check_complete_run(const std::string &old, const std::string &now, int offset,
                               int len)
{
    size_t end = static_cast<size_t>(offset) + static_cast<size_t>(len);
    size_t size = len > 0 && end > old.size() ? end : old.size();
    if (now.size() != size)
        abort();
    for (size_t i = 0; i < size; i++) {
        if (i >= static_cast<size_t>(offset) && i < end)
            continue;
        char expected = i < old.size() ? old[i] : '\0';
        if (now[i] != expected)
            abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    run_input in = split_input(data, size, 4);
    int offset = 0, len = 0;
    bool numbers = !num_param(in.lines[0].c_str(), &offset) &&
                   !num_param(in.lines[1].c_str(), &len);
    if (numbers && (len > (1 << 18) || offset > (1 << 24)))
        return 0; // large regions and gaps are the user's to ask for; they only slow this down
    const std::string dir = scratch();
    const std::string filein = dir + "/in.wav";
    spill(filein, in.file);
    std::string target = dir + "/target.bin";
    std::string old(static_cast<size_t>(in.choice >> 2) * 3, '\0');
    for (size_t i = 0; i < old.size(); i++)
        old[i] = static_cast<char>(0xA5 ^ i);
    unsigned kind = in.target_kind % 5;
    if (kind == 0)
        remove(target.c_str());
    else if (kind == 1)
        spill(target, old);
    else if (kind == 2)
        target = dir + "/no/such/dir/target.bin";
    else if (kind == 3)
        target = "/dev/full";
    else
        target = dir + "/a-directory";

    std::vector<std::string> args = {"sndimplant", filein,      target,
                                     in.lines[0],  in.lines[1], in.lines[2]};
    if (in.choice & 1)
        args.push_back(in.lines[3]);
    if ((in.choice & 2) && (in.target_kind & 0xF0) == 0xF0)
        args.resize(in.target_kind & 7); // a wrong argument count
    int status = run_in_process(sndimplant_main, release_run, args);
    if (status != 0 && status != 1)
        abort();
    if (kind == 1) {
        bool exists;
        std::string now = slurp(target, &exists);
        if (status == 1 && now != old)
            abort(); // a refused run changed the target
        if (status == 0)
            check_complete_run(old, now, offset, len);
    }
    if (status == 0 && kind == 3 && len > 0)
        abort(); // a full device reported as success
    if (status == 0 && (kind == 2 || kind == 4))
        abort();
    return 0;
}
