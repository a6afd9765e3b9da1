// sndbank implant's edits: which WAV files differ from what extract wrote,
// their sounds, the level each goes in at, and their new bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "counts.h"
#include "files.h"
#include "numbers.h"
#include "put_back.h"
#include "wav_kind_line.h"
#include "wav_read.h"

using namespace sndtools;

// Each WAV file is read once, at the speed of the disk's cache, whatever
// the number of phrases that name it.
void find_edits(const loaded_bank &bank, const bank_options &o, const manifest &m,
                put_back_plan *plan)
{
    std::map<std::string, size_t> index; // by path
    std::vector<std::string> paths;
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        phrase_work &w = plan->work[i];
        if (p.fault != bank_fault_none)
            continue;
        w.row = row_of(m, p.bank, p.number);
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
        const char *problem = h.outcome == file_missing       ? "is missing"
                              : h.outcome == file_not_regular ? "is not a regular file"
                              : h.outcome != file_hashed      ? "cannot be read"
                                                              : nullptr;
        if (problem != nullptr)
            plan->problems.push_back("Phrase " + phrase_label(p) + ": its WAV file " + w.path +
                                     " " + problem + "\n");
        w.edited = h.outcome == file_hashed && h.hash != w.row->hash;
    }
}

// The sound of a WAV file held whole, as 16-bit stereo frames: a 16-bit
// stereo file's own bytes, any other's converted.
static std::string frames_of(const std::string &path, std::vector<unsigned char> file, int rate,
                             phrase_work *w)
{
    wav_sound sound;
    const int64_t size = int64_t(file.size());
    wav_kind kind = read_wav_sound(file.data(), size, &sound);
    if (kind != wav_kind_readable || sound.rate <= 0)
        return wav_kind_line(path.c_str(), kind, sound, file.data(), size, rate);
    if (sound.frames > INT32_MAX / 4)
        return path + " holds " + std::to_string(sound.frames) +
               " frames, more than a phrase can take\n";
    w->wav_rate = sound.rate;
    w->waveblock_size = static_cast<int>(4 * sound.frames);
    if (wav_is_16bit_stereo(sound)) { // not copied
        w->sound = std::move(file);
        w->frames_at = sound.data_at;
    } else {
        w->sound.resize(size_t(4 * sound.frames));
        wav_frames_16(sound, file.data(), 0, sound.frames, w->sound.data());
        w->frames_at = 0;
    }
    return "";
}

std::string read_edit(const loaded_bank &bank, const bank_phrase &p, const bank_options &o,
                      phrase_work *w)
{
    const bool resizes = may_resize(bank, o, p);
    std::vector<unsigned char> file;
    if (stop refusal = read_whole_file(w->path.c_str(), &file))
        return refusal.lines;
    std::string problem = frames_of(w->path, std::move(file), w->row->rate, w);
    if (!problem.empty())
        return problem;
    const int64_t frames = w->waveblock_size / 4;
    w->needed = region_bytes_for(frames, w->wav_rate, w->row->rate);
    w->cut = w->needed == p.length + 1 && !resizes;
    if (w->needed <= p.length + (w->cut ? 1 : 0) || resizes)
        return "";
    double lasts = double(frames) / w->wav_rate;
    double over = lasts - double(duration_of(static_cast<int>(2 * p.length), w->row->rate));
    const std::string remedy =
        !entry_shared(bank, p)
            ? "or give --resize to give it the bytes it needs"
            : formatted("since its entry is read by every bank (bank %d among them), each "
                        "reaching other bytes through it, --resize cannot change its place or "
                        "length", p.bank);
    return formatted("%s lasts %.3f seconds, %.4f seconds too long for the phrase (%lld bytes; "
                     "it needs %lld): shorten it by %.4f seconds, %s\n", w->path.c_str(), lasts,
                     over, static_cast<long long>(p.length), static_cast<long long>(w->needed),
                     over, remedy.c_str());
}

stop encode_phrase(const bank_options &o, int64_t length, phrase_work *w)
{
    memory_source memory;
    byte_source wav = source_of_memory(&memory, w->sound.data() + w->frames_at, w->waveblock_size);
    w->bytes.assign(size_t(length), 0);
    implant_job job;
    job.wav = &wav;
    job.data_size = w->waveblock_size;
    job.wav_rate = w->wav_rate;
    job.adpcm_rate = w->row->rate;
    job.amplification_given = w->level_given;
    job.amplification = w->multiplier;
    job.sample_len = length;
    job.order = o.order;
    job.threads = usable_processors();
    job.best = o.best;
    snd_status status = implant_wav(&job, w->bytes.data(), &w->report);
    if (status.code != snd_ok)
        return stop_for(status, w->path.c_str(), o.rom);
    return stop();
}

// The decoded peak of the phrase encoded at multiplier k / 256 (a grid, so
// that a phrase put back once is found at its own level again).
static stop peak_at(const bank_options &o, int64_t length, int64_t k,
                    phrase_work *w, std::map<int64_t, int32_t> *peaks)
{
    if (peaks->count(k) != 0)
        return stop();
    w->level_given = true;
    w->multiplier = static_cast<float>(k) / 256.0f;
    if (stop refusal = encode_phrase(o, length, w))
        return refusal;
    (*peaks)[k] = decoded_peak(w->bytes.data(), length, o.order);
    return stop();
}

// The grid's multiplier whose peak is nearest the old phrase's: a few steps
// by proportion from the sound's own level, then one grid step at a time
// while that comes nearer.
static stop match_level(const loaded_bank &bank, const bank_options &given,
                        const bank_phrase &p, int64_t length, phrase_work *w)
{
    // The level is searched on the default road (the best road, a hundred
    // times slower, encodes once, at the level found).
    bank_options o = given;
    o.best = false;
    // The phrase as extracted: put back once, it is found at its level again.
    const int32_t target = w->old_peak =
        w->row->peak >= 0 ? w->row->peak
                          : decoded_peak(bank.rom.data() + p.offset, p.length, o.order);
    w->level_given = false;
    if (stop refusal = encode_phrase(o, length, w))
        return refusal;
    int32_t own = decoded_peak(w->bytes.data(), length, o.order);
    if (target == 0 || own == 0) { // nothing to measure by: the sound's own level
        w->new_peak = own;
        return stop();
    }
    const int64_t most = int64_t(1) << 24; // k / 256 exact in a float
    auto clamp = [&](double k) { return std::min<int64_t>(most, std::max<int64_t>(1, std::llround(k))); };
    auto error = [&](int32_t peak) { return std::abs(peak - target); };
    std::map<int64_t, int32_t> peaks;
    int64_t k = clamp(256.0 * double(w->report.level.multiplier) * own / target);
    for (int step = 0; step < 6; step++) {
        if (stop refusal = peak_at(o, length, k, w, &peaks))
            return refusal;
        int64_t next = clamp(double(k) * peaks.at(k) / target);
        if (error(peaks.at(k)) * 50 <= target || next == k || peaks.count(next) != 0)
            break;
        k = next;
    }
    if (stop refusal = peak_at(o, length, k, w, &peaks)) // when the steps ran out
        return refusal;
    for (int step = 0; step < 16; step++) {
        int64_t best = k;
        for (int64_t near : {k - 1, k + 1}) {
            if (near < 1 || near > most)
                continue;
            if (stop refusal = peak_at(o, length, near, w, &peaks))
                return refusal;
            if (error(peaks.at(near)) < error(peaks.at(best)))
                best = near;
        }
        if (best == k)
            break;
        k = best;
    }
    w->multiplier = static_cast<float>(k) / 256.0f;
    w->new_peak = peaks.at(k);
    return stop();
}

std::string choose_level(const loaded_bank &bank, const bank_options &o, const bank_phrase &p,
                         int64_t length, phrase_work *w)
{
    w->level_given = !o.full_scale;
    w->multiplier = o.amplification;
    if (!o.amplification_given && !o.full_scale && !o.match_level &&
        !amplification_understood(w->row->multiplier.c_str(), &w->multiplier))
        return formatted("the manifest's multiplier %s for %s is not understood\n",
                         excerpt(w->row->multiplier).c_str(), w->path.c_str());
    if (!o.match_level)
        return "";
    return match_level(bank, o, p, length, w).lines;
}
