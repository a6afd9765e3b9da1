// sndimplant: reads a 16-bit stereo WAV file, normalises it to the codec's
// 12-bit range, resamples and encodes it, and overwrites exactly one region
// of the target file.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "adpcm.h"
#include "cli.h"
#include "files.h"
#include "report.h"
#include "implant_path.h"
#include "wav_header.h"
#include "windows_args.h"

static const char ad_usage[] =
    "adpcm <filein> <fileout> <offset> <sample_len> <samplerate_out> [amplification]\n";

static unsigned char ad_wavhdr[wav_header_size];
static unsigned char *ad_data;
static unsigned char *ad_wavin;
static FILE *ad_in;
static FILE *ad_target;

// Closes what is open and frees the buffers. A failure exit may leave this
// to the end of the process; a run driven in-process (the fuzz harness)
// cannot.
void release_run()
{
    if (ad_in != nullptr)
        fclose(ad_in);
    if (ad_target != nullptr)
        fclose(ad_target);
    free(ad_data);
    free(ad_wavin);
    ad_in = ad_target = nullptr;
    ad_data = nullptr;
    ad_wavin = nullptr;
}

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

// Opens the target for update; only a target that does not exist yet is
// created, and only if it still does not exist then, so an existing one is
// never emptied.
static FILE *open_target(const char *name)
{
    FILE *target = open_file(name, "r+b");
    if (target == nullptr && errno == ENOENT)
        target = create_new_file(name);
    if (target == nullptr)
        refuse("Couldn't open output file %s\n", name);
    return target;
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

// An input whose size cannot be told (a pipe) cannot be read twice either:
// its data is held whole from the first reading.
static bool wav_is_held(int64_t in_size)
{
    return in_size < 0;
}

// First reading of the data chunk, in pieces: checks that it is all there
// and scans the level. A data size beyond the end of the file is refused
// from the file's size before anything is read. Only an input that cannot
// be read twice (a pipe) is held whole; otherwise ad_wavin holds one piece.
static void read_and_scan(int64_t in_size, int waveblock_size, int64_t num_samplein,
                          int32_t *max_val, int32_t *min_val)
{
    const char *message =
        "Could not read WAV input file.  Bytes desired = %d; bytes read = %d\n";
    int64_t available = in_size - wav_header_size;
    if (in_size >= 0 && waveblock_size > available)
        refuse(message, waveblock_size, static_cast<int>(available < 0 ? 0 : available));
    const bool held = wav_is_held(in_size);
    ad_wavin = static_cast<unsigned char *>(
        take_block((held ? int64_t(waveblock_size) : wav_read_piece) + 256));
    int64_t frames_count = waveblock_size / 4;
    int64_t scan_to = num_samplein < frames_count ? num_samplein : frames_count;
    *max_val = 0;
    *min_val = 65535;
    int64_t done = 0;
    while (done < waveblock_size) {
        int64_t want = waveblock_size - done < wav_read_piece ? waveblock_size - done
                                                              : wav_read_piece;
        unsigned char *piece = held ? ad_wavin + done : ad_wavin;
        int64_t got = static_cast<int64_t>(fread(piece, 1, static_cast<size_t>(want), ad_in));
        // Pieces are whole frames, and every piece but the last is full.
        int64_t first = done / 4;
        int64_t to = (done + got) / 4 < scan_to ? (done + got) / 4 : scan_to;
        if (to > first)
            scan_frames_into(piece, 0, to - first, max_val, min_val);
        done += got;
        if (got < want)
            break;
    }
    if (done != waveblock_size)
        refuse(message, waveblock_size, static_cast<int>(done));
    if (num_samplein > frames_count)
        scan_silence(max_val, min_val); // frames past the data are silence
}

// Second reading, from the first frame again (or from the held data), into
// the encoder. The region is produced whole before anything is written.
static void implant_frames(const char *filein, int64_t in_size, int waveblock_size,
                           int samplerate_in, int rate_out, float multiplier, int sample_len)
{
    int64_t frames_count = waveblock_size / 4;
    wav_window window;
    if (wav_is_held(in_size)) {
        wav_window_start(&window, nullptr, ad_wavin, frames_count, frames_count);
    } else {
        if (fseek(ad_in, wav_header_size, SEEK_SET) != 0)
            refuse("WAV input file %s could not be read again\n", filein);
        wav_window_start(&window, ad_in, ad_wavin, wav_read_piece / 4, frames_count);
    }
    ad_ref_index = 0;
    ad_sample = 0;
    if (resample_and_encode(&window, samplerate_in, rate_out, multiplier, ad_data,
                            sample_len) != 0)
        refuse("WAV input file %s is shorter than when it was first read\n", filein);
    fclose(ad_in);
    ad_in = nullptr;
}

static void write_region(const char *name, int offset, int sample_len)
{
    int failed = fseek(ad_target, offset, SEEK_SET) != 0;
    if (!failed && sample_len > 0)
        failed = fwrite(ad_data, static_cast<size_t>(sample_len), 1, ad_target) != 1;
    finish_output(&ad_target, failed, name, false);
}

static int run_sndimplant(int argc, char **argv)
{
    answer_help_or_version(argc, argv, "sndimplant", ad_usage,
                           "Encodes a 16-bit stereo WAV file as 4-bit ADPCM and writes it over "
                           "exactly one region of a file; the manual page says more: "
                           "man sndimplant.");
    echo_args(argc, argv);
    if (argc != 6 && argc != 7)
        refuse_arg_count(argc, ad_usage);
    const char *filein = argv[1];
    const char *fileout = argv[2];
    int offset = number_arg(argv[3], "offset");
    int sample_len = number_arg(argv[4], "length");
    int rate_out = number_arg(argv[5], "samplerate_out");
    int fixed = argc == 7;
    float amplification = fixed ? amplification_arg(argv[6]) : 0.0f;
    report_values(filein, offset, sample_len, nullptr, rate_out, fileout, fixed, amplification);
    check_values(sample_len, rate_out);

    int num_sampleout = sample_len + sample_len;
    float duration = duration_of(num_sampleout, rate_out);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));

    ad_in = open_input(filein);
    int64_t in_size = file_size(ad_in, filein);
    if (same_file(filein, fileout))
        refuse("Target file %s is the WAV file %s: it would be overwritten\n", fileout,
               filein);
    ad_target = open_target(fileout);
    if (fseek(ad_target, offset, SEEK_SET) != 0)
        refuse("Error in file offset - cannot locate in file\n");
    if (read_and_check_wav_header(ad_in, ad_wavhdr) != wav_ok)
        exit(1);
    int samplerate_in = wav_sample_rate(ad_wavhdr);
    printf("samplerate_in = %d\n", samplerate_in);
    int waveblock_size = wav_data_size(ad_wavhdr);
    int64_t num_samplein = check_header_values(samplerate_in, waveblock_size, duration);

    // The resampled samples go straight to the encoder; only the packed
    // bytes are held.
    ad_data = static_cast<unsigned char *>(take_block(int64_t(sample_len) + 256));
    printf("waveblock_size = %d\n", waveblock_size);
    printf("num_samplein = %d\n", static_cast<int>(num_samplein));
    int32_t max_val, min_val;
    read_and_scan(in_size, waveblock_size, num_samplein, &max_val, &min_val);

    int32_t peak = implant_peak(max_val, min_val);
    float multiplier = fixed ? amplification : implant_multiplier(peak);
    report_level(max_val, min_val, peak, fixed, multiplier);
    implant_frames(filein, in_size, waveblock_size, samplerate_in, rate_out, multiplier,
                   sample_len);
    write_region(fileout, offset, sample_len);
    release_run();
    exit(0);
}

// Windows gives the arguments as UTF-16 only through wmain; inside they are
// UTF-8 everywhere.
#ifdef _WIN32
int wmain(int argc, wchar_t **argv)
{
    return run_sndimplant(argc, utf8_arguments(argc, argv));
}
#else
int main(int argc, char **argv)
{
    return run_sndimplant(argc, argv);
}
#endif
