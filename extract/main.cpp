// sndextract: decodes an ADPCM region of a file, normalises its level,
// resamples it and writes a 16-bit stereo WAV file.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli.h"
#include "extract.h"
#include "files.h"
#include "numbers.h"
#include "windows_io.h"

static const program_line line = {
    "sndextract",
    "adpcm <filein> <offset> <sample_len> <ADPCM_sample_freq> <samplerate_out> <fileout> "
    "[amplification]\n",
    "Takes a 4-bit ADPCM sound out of a region of a file and writes it as a 16-bit stereo WAV "
    "file; the manual page says more: man sndextract.",
    7};

// Values the arithmetic cannot use, refused before the duration is shown.
// A negative value can only come from a number typed from 2^31 on.
static void check_values(int offset, int sample_len, int freq_in, int rate_out)
{
    if (offset < 0)
        refuse_above_int_range("offset", offset);
    if (sample_len < 0 || sample_len > max_block_items / 2)
        refuse("length %u is too large: at most %lld bytes can be extracted\n",
               static_cast<unsigned>(sample_len), static_cast<long long>(max_block_items / 2));
    if (freq_in < 0)
        refuse_above_int_range("sample_freq", freq_in);
    if (freq_in == 0)
        refuse("sample_freq must be 1 or more: %d\n", freq_in);
    if (rate_out < 0)
        refuse_above_int_range("samplerate_out", rate_out);
}

[[noreturn]] static void refuse_region(const char *name, int offset, int sample_len,
                                       int64_t size)
{
    if (size < 0) // a pipe, say, whose size cannot be told
        refuse("Region of %d bytes at offset %d cannot be read from %s\n", sample_len,
               offset, name);
    refuse("Region of %d bytes at offset %d does not lie inside %s (%lld bytes)\n",
           sample_len, offset, name, static_cast<long long>(size));
}

// The region's bytes; nothing is decoded that was not read.
static unsigned char *read_region(FILE *in, const char *name, int offset, int sample_len)
{
    unsigned char *region = static_cast<unsigned char *>(take_block(int64_t(sample_len) + 256));
    int64_t size = file_size(in, name);
    if (size >= 0 && int64_t(offset) + sample_len > size)
        refuse_region(name, offset, sample_len, size);
    if (fseek(in, offset, SEEK_SET) != 0)
        refuse_region(name, offset, sample_len, size);
    size_t got = sample_len > 0 ? fread(region, 1, static_cast<size_t>(sample_len), in) : 0;
    if (got != static_cast<size_t>(sample_len))
        refuse_region(name, offset, sample_len, size);
    fclose(in);
    return region;
}

static int run_sndextract(int argc, char **argv)
{
    nibble_order order;
    bool fixed;
    char **arg = read_command_line(argc, argv, &line, &order, &fixed);
    const char *filein = arg[1];
    const char *fileout = arg[6];
    int offset = number_arg(arg[2], "offset");
    int sample_len = number_arg(arg[3], "length");
    int freq_in = number_arg(arg[4], "sample_freq");
    int rate_out = number_arg(arg[5], "samplerate_out");
    float amplification = fixed ? amplification_arg(arg[7]) : 0.0f;
    report_values(filein, offset, sample_len, &freq_in, rate_out, fileout, fixed,
                  amplification);
    check_values(offset, sample_len, freq_in, rate_out);

    int num_samplein = sample_len + sample_len;
    float duration = duration_of(num_samplein, freq_in);
    int64_t num_sampleout = frames_for(rate_out, duration);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));
    if (num_sampleout < 0 || num_sampleout > max_block_items)
        refuse("samplerate_out %d gives more frames than a WAV file can hold\n", rate_out);

    FILE *in = open_input(filein);
    if (same_file(filein, fileout))
        refuse("Output file %s is the input file %s: it would be overwritten\n", fileout,
               filein);
    // Everything that can fail is done before the output is opened, so a
    // refused run leaves an existing output file as it was.
    unsigned char *region = read_region(in, filein, offset, sample_len);
    extract_job job{region, sample_len, order, freq_in, rate_out, amplification, num_sampleout,
                    usable_processors()};
    int64_t work_size;
    extract_work *work = take_extract_work(&job, &work_size);
    if (work == nullptr)
        refuse_failure(snd_status_of(snd_no_memory, work_size), filein, fileout);
    // A WAV file cut short by a failed write or an interruption would claim
    // frames it lacks: a regular file that this run created or emptied goes
    // again then.
    FILE *out = open_guarded(fileout, false);
    if (out == nullptr) {
        print_open_failure(fileout, errno);
        refuse("Couldn't open output file %s\n", fileout);
    }

    int32_t max_val, min_val;
    region_level(work, &job, &max_val, &min_val);
    int32_t peak_to_peak = peak_to_peak_of(max_val, min_val);
    if (!fixed)
        job.multiplier = extract_multiplier(peak_to_peak);
    report_level(max_val, min_val, peak_to_peak, fixed, job.multiplier);
    snd_status written = write_wav(work, out, &job);
    finish_output(&out, written.code != snd_ok, fileout);
    free_extract_work(work);
    free(region);
    return 0;
}

PROGRAM_MAIN(run_sndextract)
