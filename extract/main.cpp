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

// The WAV file, opened only once the work is held and the level known, so
// that a refused run leaves an existing output file as it was. A WAV file
// cut short by a failed write or an interruption would claim frames it
// lacks: a regular file that this run created or emptied goes again then.
struct wav_output {
    output_file out;
    byte_sink sink;
    bool amplification_given;
    stop problem;
};

static bool open_at_level(void *context, const level_report *level)
{
    wav_output *o = static_cast<wav_output *>(context);
    o->problem = open_output(&o->out, o->out.name);
    if (o->problem)
        return false;
    o->sink = sink_of_file(o->out.file);
    report_level(*level, o->amplification_given);
    return true;
}

static stop run_sndextract(int argc, char **argv)
{
    command_line cmd;
    if (stop answer = read_command_line(argc, argv, &line, &cmd))
        return answer;
    const char *filein = cmd.arg[1];
    const char *fileout = cmd.arg[6];
    int offset, sample_len, ADPCM_sample_freq, samplerate_out;
    float amplification = 0.0f;
    const number_arg numbers[] = {{2, "offset", &offset},
                                  {3, "length", &sample_len},
                                  {4, "sample_freq", &ADPCM_sample_freq},
                                  {5, "samplerate_out", &samplerate_out}};
    if (stop refusal = read_numbers(cmd, numbers, 4, 7, &amplification))
        return refusal;
    report_values(filein, offset, sample_len, &ADPCM_sample_freq, samplerate_out, fileout,
                  cmd.amplification_given, amplification);
    if (stop refusal = check_offset(offset))
        return refusal;
    if (stop refusal = check_length(sample_len, "extracted"))
        return refusal;
    if (stop refusal = check_rate("sample_freq", ADPCM_sample_freq, false))
        return refusal;
    if (stop refusal = check_rate("samplerate_out", samplerate_out, true))
        return refusal;

    float duration = duration_of(sample_len + sample_len, ADPCM_sample_freq);
    printf("Duration of sample = %f seconds\n", static_cast<double>(duration));
    int64_t num_sampleout;
    if (extract_frames_of(sample_len, ADPCM_sample_freq, samplerate_out, &num_sampleout).code != snd_ok)
        return failed("samplerate_out %d gives more frames than a WAV file can hold\n",
                      samplerate_out);

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

    wav_output wav{output_file{fileout, nullptr, nullptr}, byte_sink{}, cmd.amplification_given,
                   stop()};
    extract_job job{region.bytes, sample_len, cmd.order, ADPCM_sample_freq, samplerate_out,
                    cmd.amplification_given, amplification, usable_processors(), &wav.sink,
                    open_at_level, &wav};
    snd_status written = extract_wav(&job, nullptr);
    if (written.code == snd_stopped)
        return wav.problem;
    if (wav.out.file == nullptr) // refused before the output was opened
        return stop_for(written, filein, fileout);
    return close_output(&wav.out, written.code != snd_ok);
}

PROGRAM_MAIN(run_sndextract)
