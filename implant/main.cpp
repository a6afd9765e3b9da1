// sndimplant: reads a 16-bit stereo WAV file, normalises it to the codec's
// 12-bit range, resamples and encodes it, and overwrites exactly one region
// of the target file.
#include <cstdint>
#include <cstdio>

#include "best.h"
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
    "adpcm [--low-nibble-first] [--best] <filein> <fileout> <offset> <sample_len> "
    "<samplerate_out> [amplification]\n",
    "Encodes a 16-bit stereo WAV file as 4-bit ADPCM and writes it over exactly one region of a "
    "file; the manual page says more: man sndimplant.",
    implant_options, 6};

// Header values the arithmetic cannot use.
static stop check_header_values(int wav_rate, int waveblock_size, int sample_len,
                                int adpcm_rate, int64_t *num_samplein)
{
    if (stop refusal = refused_value(check_wav_rate(wav_rate, 1), "samplerate_in", false))
        return refusal;
    if (stop refusal = refused_value(check_data_size(waveblock_size), "waveblock_size"))
        return refusal;
    if (implant_frames_of(sample_len, adpcm_rate, wav_rate, num_samplein).code != snd_ok)
        return failed("samplerate_in %d gives more frames than can be counted\n", wav_rate);
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

static stop run_sndimplant(int argc, char **argv)
{
    command_line cmd;
    if (stop answer = read_command_line(argc, argv, &line, &cmd))
        return answer;
    const char *filein = cmd.arg[1];
    const char *fileout = cmd.arg[2];
    int offset, sample_len, adpcm_rate;
    float amplification = 0.0f;
    const number_arg numbers[] = {
        {3, "offset", &offset}, {4, "length", &sample_len}, {5, "samplerate_out", &adpcm_rate}};
    if (stop refusal = read_numbers(cmd, numbers, 3, 6, &amplification))
        return refusal;
    report_values(filein, offset, sample_len, nullptr, adpcm_rate, fileout,
                  cmd.amplification_given, amplification);
    if (stop refusal = refused_value(check_adpcm_rate(adpcm_rate), "samplerate_out"))
        return refusal;
    if (stop refusal = refused_value(check_length(sample_len), "implanted"))
        return refusal;

    float duration = duration_of(sample_len + sample_len, adpcm_rate);
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
    unsigned char hdr[wav_header_size];
    int got = static_cast<int>(fread(hdr, 1, wav_header_size, in));
    wav_check outcome = check_wav_header(hdr, got);
    if (outcome != wav_ok)
        return wav_refusal(filein, outcome, hdr, got, adpcm_rate);
    int wav_rate = wav_sample_rate(hdr);
    printf("samplerate_in = %d\n", wav_rate);
    int waveblock_size = wav_data_size(hdr);
    int64_t num_samplein = 0;
    if (stop refusal = check_header_values(wav_rate, waveblock_size, sample_len,
                                           adpcm_rate, &num_samplein))
        return refusal;
    if (cmd.best && !sinc_possible(wav_rate, adpcm_rate))
        return best_rates_refused(filein, wav_rate, adpcm_rate);

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
    implant_job job;
    job.wav = &wav.source;
    job.data_size = waveblock_size;
    job.wav_rate = wav_rate;
    job.adpcm_rate = adpcm_rate;
    job.amplification_given = cmd.amplification_given;
    job.amplification = amplification;
    job.sample_len = sample_len;
    job.order = cmd.order;
    job.threads = usable_processors();
    job.best = cmd.best;
    implant_plan *plan;
    implant_report report;
    if (stop refusal = stop_for(implant_measure(&job, &plan, &report), filein, fileout))
        return refusal;
    report_level(report.level, cmd.amplification_given);
    snd_status encoded = implant_encode(plan, region.bytes);
    const float snr = implant_snr(plan);
    implant_free(plan);
    if (stop refusal = stop_for(encoded, filein, fileout))
        return refusal;
    if (cmd.best && snr != 0.0f) // (0: an empty region or a silent sound)
        printf("Signal-to-noise ratio = %.2f dB (the decoded region against the band-limited "
               "sound)\n", static_cast<double>(snr));
    fclose(in);
    // The region is produced whole before anything is written.
    if (stop refusal = write_target(&target, offset, region.bytes, sample_len))
        return refusal;
    report_length(filein, waveblock_size, wav_rate, duration);
    report_target_size(fileout, target.old_size, offset, sample_len);
    return stop();
}

PROGRAM_MAIN(run_sndimplant)
