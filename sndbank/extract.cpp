// sndbank extract: every phrase to a WAV file as sndextract writes it, and
// the manifest that sndbank implant reads.
#include <cstdio>
#include <system_error>

#include "extract.h"
#include "file_stream.h"
#include "files.h"
#include "manifest.h"
#include "sndbank.h"

using namespace sndtools;

// One phrase's WAV file, opened once the job holds its work and knows its
// level (as sndextract opens it), hashed as it is written.
struct hashed_wav {
    output_file out;
    byte_sink file;
    uint64_t hash;
    level_report level;
    stop problem;
};

static bool write_hashed(void *context, const unsigned char *bytes, int64_t n)
{
    hashed_wav *w = static_cast<hashed_wav *>(context);
    w->hash = fnv1a_more(w->hash, bytes, n);
    return w->file.write(w->file.context, bytes, n);
}

static bool open_at_level(void *context, const level_report *level)
{
    hashed_wav *w = static_cast<hashed_wav *>(context);
    w->level = *level;
    w->problem = open_output(&w->out, w->out.name);
    if (w->problem)
        return false;
    w->file = sink_of_file(w->out.file);
    return true;
}

static stop extract_phrase(const bank_layout &bank, const bank_options &o, const bank_phrase &p,
                           const std::string &path, manifest_row *row)
{
    hashed_wav wav{output_file{path.c_str(), nullptr, nullptr}, byte_sink{}, fnv1a_start,
                   level_report{}, stop()};
    byte_sink sink{&wav, write_hashed};
    extract_job job{bank.rom.data() + p.offset, p.length, o.order, adpcm_rate_of(o, p),
                    wav_rate_of(o, p), o.amplification_given, o.amplification,
                    usable_processors(), &sink, open_at_level, &wav};
    snd_status written = extract_wav(&job, nullptr);
    if (written.code == snd_stopped)
        return wav.problem;
    if (wav.out.file == nullptr)
        return stop_for(written, o.rom, path.c_str());
    if (stop refusal = close_output(&wav.out, written.code != snd_ok))
        return refusal;
    char multiplier[64];
    snprintf(multiplier, sizeof multiplier, "%f", static_cast<double>(wav.level.multiplier));
    *row = manifest_row{p.number, p.offset, p.length, job.ADPCM_sample_freq, job.samplerate_out,
                        multiplier, row->file, hash_text(wav.hash)};
    printf("%3d  0x%06llX  %7lld bytes at %d Hz  ->  %s at %d Hz, multiplier %s\n", p.number,
           static_cast<unsigned long long>(p.offset), static_cast<long long>(p.length),
           row->rate, row->file.c_str(), row->wav_rate, multiplier);
    return stop();
}

// Before anything is written: each phrase writes a file of its own, and a
// file that is there already is replaced only if an earlier extraction's
// manifest there names it.
static stop check_directory(const bank_layout &bank, const bank_options &o,
                            const std::vector<const bank_phrase *> &sounds,
                            const std::string &manifest_path)
{
    std::error_code error;
    manifest old;
    std::string why;
    bool had_manifest = std::filesystem::exists(path_of(manifest_path.c_str()), error);
    if (had_manifest && !read_manifest(manifest_path, &old, &why))
        return failed("%s: nothing was written\n", why.c_str());
    for (size_t i = 0; i < sounds.size(); i++) {
        std::string name = wav_name_of(bank, *sounds[i]);
        for (size_t j = 0; j < i; j++) {
            const std::string other = wav_name_of(bank, *sounds[j]);
            if (bank_names_alike(name.data(), int64_t(name.size()), other.data(),
                                 int64_t(other.size())))
                return failed("Phrases %d and %d would both be written to %s: nothing was "
                              "written\n", sounds[j]->number, sounds[i]->number, name.c_str());
        }
        std::string path = std::string(o.dir) + "/" + name;
        if (!std::filesystem::exists(path_of(path.c_str()), error))
            continue;
        bool named = false;
        for (const manifest_row &r : old.rows)
            named = named || r.file == name;
        if (!named || !is_regular_file(path.c_str()))
            return failed("%s is there already, and no manifest of an earlier extraction there "
                          "names it: nothing was written\n", path.c_str());
    }
    return stop();
}

stop run_extract(const bank_options &o)
{
    bank_layout bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    const std::vector<const bank_phrase *> sounds = sound_phrases(bank.phrases);
    const std::string manifest_path = std::string(o.dir) + "/" + manifest_name;
    if (stop refusal = check_directory(bank, o, sounds, manifest_path))
        return refusal;
    std::error_code error;
    std::filesystem::create_directories(path_of(o.dir), error);
    if (error)
        return failed("Couldn't make the directory %s: %s\n", o.dir, error.message().c_str());
    int bad = print_faults(bank, o);
    manifest m{o.regions != nullptr ? o.regions : "", o.table_offset, o.order, {}};
    stop outcome;
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none)
            continue;
        manifest_row row{};
        if (p.alias) { // the earlier phrase's file, listed under this number too
            row = *row_of(&m, p.other);
            row.number = p.number;
            printf("%3d  the same bytes as phrase %d: %s\n", p.number, p.other, row.file.c_str());
        } else {
            row.file = wav_name_of(bank, p);
            outcome = extract_phrase(bank, o, p, std::string(o.dir) + "/" + row.file, &row);
            if (outcome)
                break;
        }
        m.rows.push_back(row);
    }
    // The files written so far, whatever happened after; without a manifest
    // that knows them no hash could mislead an implant.
    if (stop refusal = write_manifest(manifest_path, m)) {
        std::filesystem::remove(path_of(manifest_path.c_str()), error);
        return outcome ? outcome : refusal;
    }
    if (outcome)
        return outcome;
    printf("Wrote %zu WAV files and %s%s\n", sounds.size(), manifest_path.c_str(),
           bad > 0 ? "; the bad entries were left out" : "");
    return stop();
}
