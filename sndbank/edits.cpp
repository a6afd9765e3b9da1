// sndbank implant's edits: which WAV files differ from what extract wrote,
// what their headers say, and their new bytes.
#include <cstdio>
#include <map>

#include "counts.h"
#include "file_stream.h"
#include "files.h"
#include "numbers.h"
#include "put_back.h"
#include "wav.h"
#include "wav_refusal.h"

using namespace sndtools;

// Each WAV file is read once, at the speed of the disk's cache, whatever
// the number of phrases that name it.
stop find_edits(const bank_layout &bank, const bank_options &o, const manifest &m,
                put_back_plan *plan)
{
    std::map<std::string, size_t> index; // by path
    std::vector<std::string> paths;
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        phrase_work &w = plan->work[i];
        if (p.fault != bank_fault_none)
            continue;
        w.row = row_of(m, p.number);
        if (w.row == nullptr) // a first-version manifest's phrase inside another: left alone
            continue;
        w.path = std::string(o.dir) + "/" + w.row->file;
        if (!p.alias && index.insert({w.path, paths.size()}).second)
            paths.push_back(w.path);
    }
    std::vector<file_hash> hashes = hash_files(paths, m.hash, "implant: reading WAV file");
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        phrase_work &w = plan->work[i];
        if (p.fault != bank_fault_none || p.alias || w.row == nullptr)
            continue;
        const file_hash &h = hashes[index[w.path]];
        if (h.outcome == file_missing)
            return failed("Phrase %d: its WAV file %s is missing: nothing was changed\n",
                          p.number, w.path.c_str());
        if (h.outcome == file_not_regular)
            return failed("Phrase %d: its WAV file %s is not a regular file: nothing was "
                          "changed\n", p.number, w.path.c_str());
        if (h.outcome != file_hashed)
            return failed("Couldn't read file %s: nothing was changed\n", w.path.c_str());
        w.edited = h.hash != w.row->hash;
    }
    return stop();
}

// An edited file's header, checked as sndimplant checks it, and the bytes
// it needs.
stop look_at_header(const bank_phrase &p, const bank_options &o, phrase_work *w)
{
    FILE *in;
    if (stop refusal = open_input(w->path.c_str(), &in))
        return refusal;
    unsigned char header[wav_header_size];
    int got = static_cast<int>(fread(header, 1, sizeof header, in));
    int64_t size = file_size(in, w->path.c_str());
    fclose(in);
    wav_check outcome = check_wav_header(header, got);
    if (outcome != wav_ok)
        return wav_refusal(w->path.c_str(), outcome, header, got, w->row->rate);
    w->samplerate_in = wav_sample_rate(header);
    w->waveblock_size = wav_data_size(header);
    if (w->samplerate_in <= 0 || w->waveblock_size < 0 ||
        w->waveblock_size > size - wav_header_size)
        return failed("%s holds a rate of %d and %d bytes of frames, which cannot be read\n",
                      w->path.c_str(), w->samplerate_in, w->waveblock_size);
    w->needed = region_bytes_for(w->waveblock_size / 4, w->samplerate_in, w->row->rate);
    if (w->needed > p.length && o.resize == resize_none)
        return failed("Phrase %d: %s needs %lld bytes for all of its %d frames at %d Hz, the "
                      "phrase has %lld: give --resize to give it the bytes it needs, or shorten "
                      "the sound; nothing was changed\n", p.number, w->path.c_str(),
                      static_cast<long long>(w->needed), w->waveblock_size / 4, w->row->rate,
                      static_cast<long long>(p.length));
    return stop();
}

stop encode_phrase(const bank_options &o, const bank_phrase &p, int64_t length, phrase_work *w)
{
    float amplification = o.amplification;
    if (!o.amplification_given && !o.full_scale &&
        !amplification_understood(w->row->multiplier.c_str(), &amplification))
        return failed("Phrase %d: the manifest's multiplier %s is not understood\n", p.number,
                      excerpt(w->row->multiplier).c_str());
    FILE *in;
    if (stop refusal = open_input(w->path.c_str(), &in))
        return refusal;
    file_source file;
    byte_source wav = source_of_file(&file, in, wav_header_size,
                                     file_size(in, w->path.c_str()) - wav_header_size);
    fseek(in, wav_header_size, SEEK_SET);
    w->bytes.assign(size_t(length), 0);
    implant_job job{&wav, w->waveblock_size, w->samplerate_in, w->row->rate, !o.full_scale,
                    amplification, w->bytes.data(), length, o.order, usable_processors(),
                    nullptr, nullptr, nullptr};
    snd_status status = implant_wav(&job, &w->report);
    fclose(in);
    if (status.code != snd_ok)
        return stop_for(status, w->path.c_str(), o.rom);
    return stop();
}
