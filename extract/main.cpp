// sndextract: decodes an ADPCM region of a file, normalises its level,
// resamples it and writes a 16-bit stereo WAV file.
#include <cstdint>
#include <cstdio>

#include "cli.h"
#include "counts.h"
#include "extract.h"
#include "file_stream.h"
#include "files.h"
#include "region_file.h"
#include "windows_io.h"

using namespace sndtools;

static const program_line line = {
    "sndextract",
    "adpcm <filein> <offset> <sample_len> <ADPCM_sample_freq> <samplerate_out> <fileout> "
    "[amplification]\n",
    "adpcm [--low-nibble-first] <filein> <offset> <sample_len> <ADPCM_sample_freq> "
    "<samplerate_out> <fileout> [amplification]\n",
    "Takes a 4-bit ADPCM sound out of a region of a file and writes it as a 16-bit stereo WAV "
    "file; the manual page says more: man sndextract.",
    nibble_option, 7};

static stop run_sndextract(int argc, char **argv)
{
    command_line cmd;
    if (stop answer = read_command_line(argc, argv, &line, &cmd))
        return answer;
    const char *filein = cmd.arg[1];
    const char *fileout = cmd.arg[6];
    int offset, sample_len, adpcm_rate, wav_rate;
    float amplification = 0.0f;
    const number_arg numbers[] = {{2, "offset", &offset},
                                  {3, "length", &sample_len},
                                  {4, "sample_freq", &adpcm_rate},
                                  {5, "samplerate_out", &wav_rate}};
    if (stop refusal = read_numbers(cmd, numbers, 4, 7, &amplification))
        return refusal;
    report_values(filein, offset, sample_len, &adpcm_rate, wav_rate, fileout,
                  cmd.amplification_given, amplification);
    if (stop refusal = check_offset(offset))
        return refusal;
    if (stop refusal = refused_value(check_length(sample_len), "extracted"))
        return refusal;
    if (stop refusal = refused_value(check_adpcm_rate(adpcm_rate), "sample_freq"))
        return refusal;
    if (stop refusal = refused_value(check_wav_rate(wav_rate, 0), "samplerate_out"))
        return refusal;

    float duration = duration_of(sample_len + sample_len, adpcm_rate);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));
    int64_t num_sampleout;
    if (extract_frames_of(sample_len, adpcm_rate, wav_rate, &num_sampleout).code != snd_ok)
        return failed("samplerate_out %d gives more frames than a WAV file can hold\n",
                      wav_rate);

    FILE *in;
    if (stop refusal = open_input(filein, &in))
        return refusal;
    if (same_file(filein, fileout)) {
        fclose(in);
        return failed("Output file %s is the input file %s: it would be overwritten\n", fileout,
                      filein);
    }
    block region;
    if (stop refusal = read_region(in, filein, offset, sample_len, &region))
        return refusal;

    extract_job job;
    job.region = region.bytes;
    job.sample_len = sample_len;
    job.order = cmd.order;
    job.adpcm_rate = adpcm_rate;
    job.wav_rate = wav_rate;
    job.amplification_given = cmd.amplification_given;
    job.amplification = amplification;
    job.threads = usable_processors();
    extract_plan *plan;
    level_report level;
    if (stop refusal = stop_for(extract_measure(&job, &plan, &level), filein, fileout))
        return refusal;
    // The WAV file, opened only once the work is held and the level known,
    // so that a refused run leaves an existing output file as it was. A WAV
    // file cut short by a failed write or an interruption would claim
    // frames it lacks: a regular file that this run created or emptied
    // goes again then.
    output_file out{fileout, nullptr, nullptr};
    stop opened = open_output(&out, fileout);
    if (!opened) {
        report_level(level, cmd.amplification_given);
        byte_sink sink = sink_of_file(out.file);
        opened = close_output(&out, extract_write(plan, &sink).code != snd_ok);
    }
    extract_free(plan);
    return opened;
}

PROGRAM_MAIN(run_sndextract)
