// sndimplant: reads a 16-bit stereo WAV file, normalises it to the codec's
// 12-bit range, resamples and encodes it, and overwrites exactly one region
// of the target file.
#include <cstdint>
#include <cstdio>

#include "cli.h"
#include "counts.h"
#include "file_stream.h"
#include "files.h"
#include "implant.h"
#include "region_file.h"
#include "wav.h"
#include "wav_refusal.h"
#include "windows_io.h"

using namespace sndtools;

static const program_line line = {
    "sndimplant",
    "adpcm <filein> <fileout> <offset> <sample_len> <samplerate_out> [amplification]\n",
    "adpcm [--low-nibble-first] <filein> <fileout> <offset> <sample_len> <samplerate_out> "
    "[amplification]\n",
    "Encodes a 16-bit stereo WAV file as 4-bit ADPCM and writes it over exactly one region of a "
    "file; the manual page says more: man sndimplant.",
    nibble_option, 6};

// Header values the arithmetic cannot use.
static stop check_header_values(int samplerate_in, int waveblock_size, int sample_len,
                                int samplerate_out, int64_t *num_samplein)
{
    if (samplerate_in <= 0)
        return failed("samplerate_in must be 1 or more: %d\n", samplerate_in);
    if (waveblock_size < 0)
        return failed("waveblock_size must not be negative: %d\n", waveblock_size);
    if (waveblock_size > max_waveblock_size)
        return failed("waveblock_size %d is too large to hold\n", waveblock_size);
    if (implant_frames_of(sample_len, samplerate_out, samplerate_in, num_samplein).code != snd_ok)
        return failed("samplerate_in %d gives more frames than can be counted\n", samplerate_in);
    return stop();
}

// The WAV data, read from the file where it lies, or, when the input's size
// cannot be told (a pipe, which cannot be read twice), held whole first.
struct wav_input {
    file_source file;
    memory_source memory;
    block held;
    byte_source source;
};

static stop open_wav_data(wav_input *wav, FILE *in, int64_t in_size, int waveblock_size)
{
    if (in_size >= 0) {
        wav->source = source_of_file(&wav->file, in, wav_header_size, in_size - wav_header_size);
        return stop();
    }
    if (stop refusal = take_block(int64_t(waveblock_size) + 256, &wav->held))
        return refusal;
    size_t got = fread(wav->held.bytes, 1, static_cast<size_t>(waveblock_size), in);
    if (got != static_cast<size_t>(waveblock_size))
        return stop_for(snd_status_of(snd_data_short, waveblock_size, int64_t(got)), nullptr,
                        nullptr);
    wav->source = source_of_memory(&wav->memory, wav->held.bytes, waveblock_size);
    return stop();
}

static bool report_at_level(void *context, const level_report *level)
{
    report_level(*level, *static_cast<const bool *>(context));
    return true;
}

static stop run_sndimplant(int argc, char **argv)
{
    command_line cmd;
    if (stop answer = read_command_line(argc, argv, &line, &cmd))
        return answer;
    const char *filein = cmd.arg[1];
    const char *fileout = cmd.arg[2];
    int offset, sample_len, samplerate_out;
    float amplification = 0.0f;
    const number_arg numbers[] = {
        {3, "offset", &offset}, {4, "length", &sample_len}, {5, "samplerate_out", &samplerate_out}};
    if (stop refusal = read_numbers(cmd, numbers, 3, 6, &amplification))
        return refusal;
    report_values(filein, offset, sample_len, nullptr, samplerate_out, fileout,
                  cmd.amplification_given, amplification);
    if (stop refusal = check_rate("samplerate_out", samplerate_out, false))
        return refusal;
    if (stop refusal = check_length(sample_len, "implanted"))
        return refusal;

    float duration = duration_of(sample_len + sample_len, samplerate_out);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));

    FILE *in;
    if (stop refusal = open_input(filein, &in))
        return refusal;
    int64_t in_size = file_size(in, filein);
    if (same_file(filein, fileout))
        return failed("Target file %s is the WAV file %s: it would be overwritten\n", fileout,
                      filein);
    target_file target;
    if (stop refusal = open_target(fileout, offset, &target))
        return refusal;
    file_source header_file;
    byte_source header_source = source_of_file(&header_file, in, 0, in_size);
    unsigned char hdr[wav_header_size];
    int got = read_wav_header(&header_source, hdr);
    wav_check outcome = check_wav_header(hdr, got);
    if (outcome != wav_ok)
        return wav_refusal(filein, outcome, hdr, got, samplerate_out);
    int samplerate_in = wav_sample_rate(hdr);
    printf("samplerate_in = %d\n", samplerate_in);
    int waveblock_size = wav_data_size(hdr);
    int64_t num_samplein = 0;
    if (stop refusal = check_header_values(samplerate_in, waveblock_size, sample_len,
                                           samplerate_out, &num_samplein))
        return refusal;

    // The resampled samples go straight to the encoder; only the packed
    // bytes are held (with the 256 spare bytes of every work block).
    block region;
    if (stop refusal = take_block(int64_t(sample_len) + 256, &region))
        return refusal;
    printf("waveblock_size = %d\n", waveblock_size);
    printf("num_samplein = %d\n", static_cast<int>(num_samplein));
    wav_input wav;
    if (stop refusal = open_wav_data(&wav, in, in_size, waveblock_size))
        return refusal;
    bool given = cmd.amplification_given;
    implant_job job{&wav.source, waveblock_size, samplerate_in, samplerate_out, given,
                    amplification, region.bytes, sample_len, cmd.order, usable_processors(),
                    report_at_level, &given, nullptr};
    if (stop refusal = stop_for(implant_wav(&job, nullptr), filein, fileout))
        return refusal;
    fclose(in);
    // The region is produced whole before anything is written.
    if (stop refusal = write_target(&target, offset, region.bytes, sample_len))
        return refusal;
    report_length(filein, waveblock_size, samplerate_in, duration);
    report_target_size(fileout, target.old_size, offset, sample_len);
    return stop();
}

PROGRAM_MAIN(run_sndimplant)
