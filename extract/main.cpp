// sndextract: decodes an ADPCM region of a file, normalises its level,
// resamples it and writes a 16-bit stereo WAV file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "adpcm.h"
#include "cli.h"
#include "extract_path.h"
#include "files.h"
#include "report.h"
#include "wav_header.h"
#include "windows_args.h"

static const char ad_usage[] = "adpcm <filein> <offset> <sample_len> <ADPCM_sample_freq> "
                               "<samplerate_out> <fileout> [amplification]\n";

static unsigned char ad_wavhdr[wav_header_size];
static unsigned char *ad_data;
static int32_t *ad_output;       // a window of decoded samples
static unsigned char *ad_wavout; // a piece of frames
static frame_stream ad_stream;
static FILE *ad_in;
static FILE *ad_out;

// Closes what is open and frees the blocks. A failure exit may leave this to
// the end of the process; a run driven in-process (the fuzz harness) cannot.
void release_run()
{
    if (ad_in != nullptr)
        fclose(ad_in);
    if (ad_out != nullptr)
        fclose(ad_out);
    free(ad_data);
    free(ad_output);
    free(ad_wavout);
    ad_in = ad_out = nullptr;
    ad_data = nullptr;
    ad_output = nullptr;
    ad_wavout = nullptr;
}

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

// Reads the region into ad_data; nothing is decoded that was not read.
static void read_region(const char *name, int offset, int sample_len)
{
    FILE *in = ad_in;
    int64_t size = file_size(in, name);
    if (size >= 0 && int64_t(offset) + sample_len > size)
        refuse_region(name, offset, sample_len, size);
    if (fseek(in, offset, SEEK_SET) != 0)
        refuse_region(name, offset, sample_len, size);
    size_t got = sample_len > 0 ? fread(ad_data, 1, static_cast<size_t>(sample_len), in) : 0;
    if (got != static_cast<size_t>(sample_len))
        refuse_region(name, offset, sample_len, size);
    fclose(in);
    ad_in = nullptr;
}

// The header with the final sizes, the frames a piece at a time, and the
// trailing zero byte. Returns 1 at the first write that fails.
static int write_frames(FILE *out, int64_t num_sampleout, int rate_in, int rate_out,
                        float multiplier, int sample_len)
{
    if (write_wav_header(out, ad_wavhdr, static_cast<int>(num_sampleout), rate_out) != 0)
        return 1;
    ad_ref_index = 0;
    ad_sample = 0;
    frame_stream_start(&ad_stream, ad_data, sample_len, ad_output, decode_window_samples,
                       rate_in, rate_out, multiplier, num_sampleout);
    for (;;) {
        int64_t n = frame_stream_next(&ad_stream, ad_wavout, frames_per_piece);
        if (n == 0)
            break;
        if (fwrite(ad_wavout, 4, static_cast<size_t>(n), out) != static_cast<size_t>(n))
            return 1;
    }
    return write_wav_end(out);
}

static int run_sndextract(int argc, char **argv)
{
    answer_help_or_version(argc, argv, "sndextract", ad_usage,
                           "Takes a 4-bit ADPCM sound out of a region of a file and writes it as "
                           "a 16-bit stereo WAV file; the manual page says more: man sndextract.");
    echo_args(argc, argv);
    if (argc != 7 && argc != 8)
        refuse_arg_count(argc, ad_usage);
    const char *filein = argv[1];
    const char *fileout = argv[6];
    int offset = number_arg(argv[2], "offset");
    int sample_len = number_arg(argv[3], "length");
    int freq_in = number_arg(argv[4], "sample_freq");
    int rate_out = number_arg(argv[5], "samplerate_out");
    int fixed = argc == 8;
    float amplification = fixed ? amplification_arg(argv[7]) : 0.0f;
    report_values(filein, offset, sample_len, &freq_in, rate_out, fileout, fixed,
                  amplification);
    check_values(offset, sample_len, freq_in, rate_out);

    int num_samplein = sample_len + sample_len;
    float duration = duration_of(num_samplein, freq_in);
    int64_t num_sampleout = frames_for(rate_out, duration);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));
    if (num_sampleout < 0 || num_sampleout > max_block_items)
        refuse("samplerate_out %d gives more frames than a WAV file can hold\n", rate_out);

    ad_in = open_input(filein);
    if (same_file(filein, fileout))
        refuse("Output file %s is the input file %s: it would be overwritten\n", fileout,
               filein);
    // Everything that can fail is done before the output is opened, so a
    // refused run leaves an existing output file as it was.
    ad_data = static_cast<unsigned char *>(take_block(int64_t(sample_len) + 256));
    read_region(filein, offset, sample_len);
    ad_output = static_cast<int32_t *>(take_block(4 * decode_window_samples + 256));
    ad_wavout = static_cast<unsigned char *>(take_block(4 * frames_per_piece + 256));
    ad_out = open_file(fileout, "wb");
    if (ad_out == nullptr)
        refuse("Couldn't open output file %s\n", fileout);
    // A WAV file cut short by a failed write would claim frames it lacks:
    // a regular file that this run created or emptied goes again then.
    bool regular_output = is_regular_file(fileout);

    // The level comes from a first decoding that keeps no samples; the
    // frames from a second one, a piece at a time.
    ad_ref_index = 0;
    ad_sample = 0;
    int32_t max_val, min_val;
    scan_region(ad_data, sample_len, ad_output, decode_window_samples, &max_val, &min_val);
    int32_t peak_to_peak = peak_to_peak_of(max_val, min_val);
    float multiplier = fixed ? amplification : extract_multiplier(peak_to_peak);
    report_level(max_val, min_val, peak_to_peak, fixed, multiplier);
    int failed = write_frames(ad_out, num_sampleout, freq_in, rate_out, multiplier, sample_len);
    finish_output(&ad_out, failed, fileout, regular_output);
    release_run();
    exit(0);
}

// Windows gives the arguments as UTF-16 only through wmain; inside they are
// UTF-8 everywhere.
#ifdef _WIN32
int wmain(int argc, wchar_t **argv)
{
    return run_sndextract(argc, utf8_arguments(argc, argv));
}
#else
int main(int argc, char **argv)
{
    return run_sndextract(argc, argv);
}
#endif
