// sndbank extract: every phrase to a WAV file as sndextract writes it, and
// the manifest that sndbank implant reads; never over a file the user
// edited since the last extraction, unless told to.
#include <cstdio>
#include <map>
#include <system_error>

#include "extract.h"
#include "file_stream.h"
#include "files.h"
#include "manifest.h"
#include "progress.h"
#include "sndbank.h"

using namespace sndtools;

// One phrase's WAV file, opened once the job holds its work and knows its
// level (as sndextract opens it), hashed as it is written; the progress
// drawn as its pieces come (one at a time, whichever thread made them).
struct hashed_wav {
    byte_sink file;
    hash_state hash;
    progress *shown;
    int64_t at;
};

static bool write_hashed(void *context, const unsigned char *bytes, int64_t n)
{
    hashed_wav *w = static_cast<hashed_wav *>(context);
    progress_at(w->shown, w->at);
    hash_more(&w->hash, bytes, n);
    return w->file.write(w->file.context, bytes, n);
}

// The phrase's WAV file written; *hash what it holds.
static stop write_phrase(const extract_job &job, const char *rom, const char *path,
                         progress *shown, int64_t at, level_report *level, uint64_t *hash)
{
    extract_plan *plan;
    if (stop refusal = stop_for(extract_measure(&job, &plan, level), rom, path))
        return refusal;
    output_file out{path, nullptr, nullptr};
    stop done = open_output_replacing_link(&out, path);
    if (!done) {
        hashed_wav wav{sink_of_file(out.file), hash_state{}, shown, at};
        hash_start(&wav.hash, hash_xxh64);
        byte_sink sink{&wav, write_hashed};
        done = close_output(&out, extract_write(plan, &sink).code != snd_ok);
        *hash = hash_end(&wav.hash);
    }
    extract_free(plan);
    return done;
}

static stop extract_phrase(const loaded_bank &bank, const bank_options &o, const bank_phrase &p,
                           const std::string &path, manifest_row *row, progress *shown,
                           int64_t at)
{
    extract_job job;
    job.region = bank.rom.data() + p.offset;
    job.sample_len = p.length;
    job.order = o.order;
    job.adpcm_rate = adpcm_rate_of(o, p);
    job.wav_rate = o.wav_rate > 0 ? o.wav_rate : job.adpcm_rate;
    job.amplification_given = o.amplification_given;
    job.amplification = o.amplification;
    job.threads = usable_processors();
    level_report level;
    if (stop refusal = write_phrase(job, o.rom, path.c_str(), shown, at, &level, &row->hash))
        return refusal;
    row->number = p.number;
    row->bank = p.bank;
    row->offset = row->resized_offset = p.offset;
    row->length = row->resized_length = p.length;
    row->rate = job.adpcm_rate;
    row->wav_rate = job.wav_rate;
    row->multiplier = formatted("%f", static_cast<double>(level.multiplier));
    row->peak = decoded_peak(bank.rom.data() + p.offset, p.length, o.order);
    progress_clear();
    printf("%*s  %s  %7lld bytes at %d Hz  ->  %s at %d Hz, multiplier %s", label_width(bank),
           phrase_label(p).c_str(), hex_address(p.offset).c_str(), static_cast<long long>(p.length),
           row->rate, row->file.c_str(), row->wav_rate, row->multiplier.c_str());
    if (p.inside)
        printf(", inside %s", label_of(p.other_bank, p.other).c_str());
    printf("\n");
    return stop();
}

// Each phrase writes a file of its own.
static stop check_names(const loaded_bank &bank, const std::vector<const bank_phrase *> &sounds)
{
    std::map<std::string, std::string> stems; // by the name as the file systems compare it
    for (const bank_phrase *p : sounds) {
        std::string name = wav_name_of(bank, *p);
        auto [earlier, added] =
            stems.insert({bank_name_key(name.data(), int64_t(name.size())), phrase_label(*p)});
        if (!added)
            return failed("Phrases %s and %s would both be written to %s: nothing was written\n",
                          earlier->second.c_str(), phrase_label(*p).c_str(), name.c_str());
    }
    return stop();
}

// Before anything is written: a file that is there already is replaced only
// if an earlier extraction's manifest there names it and it holds what that
// extraction wrote (or --force); a symbolic link is replaced by a file,
// never written through.
static stop check_directory(const loaded_bank &bank, const bank_options &o,
                            const std::vector<const bank_phrase *> &sounds,
                            const std::string &manifest_path, const std::string &regions)
{
    if (stop refusal = check_names(bank, sounds))
        return refusal;
    if (o.regions != nullptr && !fits_manifest(regions))
        return failed("The regions list's name %s holds a tab, a line end or another control "
                      "character, which the manifest cannot name: rename it; nothing was "
                      "written\n", excerpt(regions).c_str());
    std::error_code error;
    manifest old;
    std::string why;
    bool had_manifest =
        std::filesystem::symlink_status(path_of(manifest_path.c_str()), error).type() !=
        std::filesystem::file_type::not_found;
    if (had_manifest && !read_manifest(manifest_path, &old, &why))
        return failed("%s: nothing was written\n", why.c_str());
    std::map<std::string, const manifest_row *> named;
    for (const manifest_row &r : old.rows)
        named[r.file] = &r;
    std::vector<std::string> paths;
    std::vector<const manifest_row *> rows;
    for (const bank_phrase *p : sounds) {
        const std::string name = wav_name_of(bank, *p), path = std::string(o.dir) + "/" + name;
        std::filesystem::file_type type =
            std::filesystem::symlink_status(path_of(path.c_str()), error).type();
        if (type == std::filesystem::file_type::not_found)
            continue;
        if (named.count(name) == 0)
            return failed("%s is there already, and no manifest of an earlier extraction there "
                          "names it: nothing was written\n", path.c_str());
        if (type != std::filesystem::file_type::regular &&
            type != std::filesystem::file_type::symlink)
            return failed("%s is there already, and is not a file: nothing was written\n",
                          path.c_str());
        paths.push_back(path);
        rows.push_back(named[name]);
    }
    std::string edited;
    std::vector<file_hash> hashes = hash_files(paths, old.hash, "extract: reading WAV file");
    for (size_t i = 0; i < paths.size(); i++)
        if (hashes[i].outcome == file_hashed && hashes[i].hash != rows[i]->hash)
            edited += paths[i] + " was changed since it was extracted\n";
        else if (hashes[i].outcome != file_hashed) // a link to nothing, say
            edited += paths[i] + " cannot be read, so it may hold an edit\n";
    if (!edited.empty() && !o.force)
        return failed("%sNothing was written: give --force to replace the changed files too, or "
                      "extract into another folder\n", edited.c_str());
    return stop();
}

stop run_extract(const bank_options &o)
{
    loaded_bank bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    if (stop refusal = refuse_implausible_table(o, bank))
        return refusal;
    print_hints(o, bank);
    const std::vector<const bank_phrase *> sounds = sound_phrases(bank.phrases);
    const std::string manifest_path = std::string(o.dir) + "/" + manifest_name;
    const std::string regions = o.regions != nullptr ? regions_as_recorded(o.regions, o.dir) : "";
    if (stop refusal = check_directory(bank, o, sounds, manifest_path, regions))
        return refusal;
    std::error_code error;
    std::filesystem::create_directories(path_of(o.dir), error);
    if (error)
        return failed("Couldn't make the directory %s: %s\n", o.dir, error.message().c_str());
    // The old manifest's hashes would make the new files, should the run be
    // cut short, look like edits of the old ones.
    std::filesystem::remove(path_of(manifest_path.c_str()), error);
    int bad = print_faults(bank, o);
    manifest m;
    m.regions = regions;
    m.table_offset = o.table_offset;
    m.layout = o.regions == nullptr ? o.layout : rom_layout{};
    m.order = o.order;
    stop outcome;
    progress shown;
    progress_start(&shown, "extract: phrase", int64_t(sounds.size()));
    int64_t done = 0;
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none)
            continue;
        progress_at(&shown, ++done);
        manifest_row row;
        if (p.alias) { // the earlier phrase's file, listed under this number too
            const manifest_row *phrase = row_of(m, p.other_bank, p.other);
            if (phrase == nullptr)
                continue;
            row = *phrase;
            row.number = p.number;
            row.bank = p.bank;
            progress_clear();
            printf("%*s  the same bytes as phrase %s: %s\n", label_width(bank),
                   phrase_label(p).c_str(), label_of(p.other_bank, p.other).c_str(),
                   row.file.c_str());
        } else {
            row.file = wav_name_of(bank, p);
            outcome = extract_phrase(bank, o, p, std::string(o.dir) + "/" + row.file, &row,
                                     &shown, done);
            if (outcome)
                break;
        }
        m.rows.push_back(row);
    }
    progress_end(&shown);
    // The files written so far, whatever happened after; without a manifest
    // that knows them no hash could mislead an implant.
    const std::string text = manifest_text(m);
    if (stop refusal = replace_file(manifest_path.c_str(),
                                    reinterpret_cast<const unsigned char *>(text.data()),
                                    int64_t(text.size()))) {
        std::filesystem::remove(path_of(manifest_path.c_str()), error);
        return outcome ? outcome : refusal;
    }
    if (outcome)
        return outcome;
    printf("Wrote %zu WAV files and %s%s\n", sounds.size(), manifest_path.c_str(),
           bad > 0 ? "; the bad entries were left out" : "");
    return stop();
}
