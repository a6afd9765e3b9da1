// sndimplant: reads a 16-bit stereo WAV file, normalises it to the codec's
// 12-bit range, resamples and encodes it, and overwrites exactly one region
// of the target file.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli.h"
#include "files.h"
#include "implant.h"
#include "numbers.h"
#include "wav.h"
#include "windows_io.h"

static const program_line line = {
    "sndimplant", "adpcm <filein> <fileout> <offset> <sample_len> <samplerate_out> [amplification]\n",
    "Encodes a 16-bit stereo WAV file as 4-bit ADPCM and writes it over exactly one region of a "
    "file; the manual page says more: man sndimplant.",
    6};

// Command-line values the arithmetic cannot use, refused before the
// duration is shown and before any file is opened. A negative value can only
// come from a number typed from 2^31 on.
static void check_values(int sample_len, int rate_out)
{
    if (rate_out < 0)
        refuse_above_int_range("samplerate_out", rate_out);
    if (rate_out == 0)
        refuse("samplerate_out must be 1 or more: %d\n", rate_out);
    if (sample_len < 0 || sample_len > max_block_items / 2)
        refuse("length %u is too large: at most %lld bytes can be implanted\n",
               static_cast<unsigned>(sample_len), static_cast<long long>(max_block_items / 2));
}

// Opens the target for update, with its size (-1 when this run creates it,
// -2 when it is no regular file). Only a target that does not exist yet is
// created, and only if it still does not exist then, so an existing one is
// never emptied; one that this run created goes again if the run fails.
static FILE *open_target(const char *name, int64_t *old_size)
{
    FILE *target = open_file(name, "r+b");
    int error = errno;
    *old_size = target != nullptr && is_regular_file(name) ? file_size(target, name) : -2;
    if (target == nullptr && error == ENOENT) {
        target = open_guarded(name, true);
        error = errno;
        *old_size = -1;
    }
    if (target == nullptr) {
        print_open_failure(name, error);
        refuse("Couldn't open output file %s\n", name);
    }
    return target;
}

// The one line after the report when the target was created or grew.
static void report_target_size(const char *name, int64_t old_size, int offset, int sample_len)
{
    int64_t end = sample_len > 0 ? int64_t(offset) + sample_len : 0;
    if (old_size == -1)
        printf("Created target file %s with %lld bytes\n", name, static_cast<long long>(end));
    else if (old_size >= 0 && end > old_size)
        printf("Lengthened target file %s from %lld to %lld bytes: the region ends past its old "
               "end\n", name, static_cast<long long>(old_size), static_cast<long long>(end));
}

// Header values the arithmetic cannot use.
static int64_t check_header_values(int samplerate_in, int waveblock_size, float duration)
{
    if (samplerate_in <= 0)
        refuse("samplerate_in must be 1 or more: %d\n", samplerate_in);
    if (waveblock_size < 0)
        refuse("waveblock_size must not be negative: %d\n", waveblock_size);
    if (waveblock_size > INT32_MAX - 256)
        refuse("waveblock_size %d is too large to hold\n", waveblock_size);
    int64_t num_samplein = frames_for(samplerate_in, duration);
    if (num_samplein < 0 || num_samplein > INT32_MAX)
        refuse("samplerate_in %d gives more frames than can be counted\n", samplerate_in);
    return num_samplein;
}

static int run_sndimplant(int argc, char **argv)
{
    nibble_order order;
    bool fixed;
    char **arg = read_command_line(argc, argv, &line, &order, &fixed);
    const char *filein = arg[1];
    const char *fileout = arg[2];
    int offset = number_arg(arg[3], "offset");
    int sample_len = number_arg(arg[4], "length");
    int rate_out = number_arg(arg[5], "samplerate_out");
    float amplification = fixed ? amplification_arg(arg[6]) : 0.0f;
    report_values(filein, offset, sample_len, nullptr, rate_out, fileout, fixed, amplification);
    check_values(sample_len, rate_out);

    int num_sampleout = sample_len + sample_len;
    float duration = duration_of(num_sampleout, rate_out);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));

    FILE *in = open_input(filein);
    wav_data data{in, file_size(in, filein), 0, nullptr};
    if (same_file(filein, fileout))
        refuse("Target file %s is the WAV file %s: it would be overwritten\n", fileout,
               filein);
    int64_t old_size;
    FILE *target = open_target(fileout, &old_size);
    if (fseek(target, offset, SEEK_SET) != 0)
        refuse("Error in file offset - cannot locate in file\n");
    unsigned char hdr[wav_header_size];
    int got = read_wav_header(in, hdr);
    wav_check outcome = check_wav_header(hdr, got);
    if (outcome != wav_ok)
        refuse_wav(filein, outcome, hdr, got);
    int samplerate_in = wav_sample_rate(hdr);
    printf("samplerate_in = %d\n", samplerate_in);
    int waveblock_size = wav_data_size(hdr);
    int64_t num_samplein = check_header_values(samplerate_in, waveblock_size, duration);
    data.size = waveblock_size;

    // The resampled samples go straight to the encoder; only the packed
    // bytes are held.
    unsigned char *region = static_cast<unsigned char *>(take_block(int64_t(sample_len) + 256));
    printf("waveblock_size = %d\n", waveblock_size);
    printf("num_samplein = %d\n", static_cast<int>(num_samplein));
    int32_t max_val, min_val;
    int64_t work_size;
    implant_work *work = take_implant_work(usable_processors(), waveblock_size, &work_size);
    if (work == nullptr)
        refuse_failure(snd_status_of(snd_no_memory, work_size), filein, fileout);
    refuse_failure(wav_level(work, &data, num_samplein, &max_val, &min_val), filein, fileout);

    int32_t peak = implant_peak(max_val, min_val);
    implant_job job{samplerate_in, rate_out, fixed ? amplification : implant_multiplier(peak),
                    region, sample_len, order};
    report_level(max_val, min_val, peak, fixed, job.multiplier);
    refuse_failure(encode_wav(work, wav_read_piece / 4, &data, &job), filein, fileout);
    fclose(in);
    // The region is produced whole before anything is written.
    bool failed = fseek(target, offset, SEEK_SET) != 0;
    if (!failed && sample_len > 0)
        failed = fwrite(region, static_cast<size_t>(sample_len), 1, target) != 1;
    finish_output(&target, failed, fileout);
    report_target_size(fileout, old_size, offset, sample_len);
    free(data.held);
    free_implant_work(work);
    free(region);
    return 0;
}

PROGRAM_MAIN(run_sndimplant)
