// sndbank implant: every phrase whose WAV file differs from what extract
// wrote, put back as sndimplant puts it wherever the ROM does not hold its
// bytes yet (with --resize, given the length it needs); the whole new ROM
// built first, then put in place of the old, or written to another file,
// in one step with the files that describe it.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <set>

#include "counts.h"
#include "files.h"
#include "progress.h"
#include "best.h"
#include "put_back.h"
#include "threads.h"

using namespace sndtools;

static stop nothing_changed(const std::string &why)
{
    return failed("%s: nothing was changed\n", why.c_str());
}

// The first phrase whose place differs from the layout's (resized: the
// manifest's resized one), as a line; empty when every phrase of the ROM
// is where the manifest has it, and the manifest has no other. (Manifests
// of the first version have no rows for phrases inside another, which were
// faults then: those are left alone.)
static std::string layout_mismatch(const loaded_bank &bank, const bank_options &o,
                                   const manifest &m, bool resized)
{
    std::set<std::pair<int, int>> numbers; // bank, number
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none)
            continue;
        numbers.insert({p.bank, p.number});
        const manifest_row *row = row_of(m, p.bank, p.number);
        std::string n = "Phrase " + phrase_label(p);
        if (row == nullptr && m.hash == hash_fnv1a_v1)
            continue;
        if (row == nullptr)
            return n + " of " + o.rom + " is not in the manifest";
        int64_t offset = resized ? row->resized_offset : row->offset;
        int64_t length = resized ? row->resized_length : row->length;
        if (offset != p.offset || length != p.length)
            return n + ": the manifest says " + std::to_string(length) + " bytes at " +
                   hex_address(offset) + (resized ? " after its resize" : " as extracted") +
                   ", " + o.rom + " " + std::to_string(p.length) + " bytes at " +
                   hex_address(p.offset);
    }
    for (const manifest_row &r : m.rows)
        if (numbers.count({r.bank, r.number}) == 0)
            return "Phrase " + label_of(r.bank, r.number) + " of the manifest is no phrase of " +
                   o.rom;
    return "";
}

// A list never meets its ROM: the list as extracted, given for a ROM that a
// resize laid out again (one of the phrases it moved still there, byte for
// byte), would put the edits where other phrases now are.
static std::string holds_resized_layout(const loaded_bank &bank, const manifest &m)
{
    for (const manifest_row &r : m.rows) {
        if (r.resized_offset == r.offset || r.resized_offset + r.resized_length >
                                                int64_t(bank.rom.size()))
            continue;
        if (hash_of(hash_xxh64, bank.rom.data() + r.resized_offset, r.resized_length) ==
            r.resized_hash)
            return "Phrase " + label_of(r.bank, r.number) + " lies at " +
                   hex_address(r.resized_offset) + ", where the last resize put it";
    }
    return "";
}

// The manifest must be the one of this ROM's phrases, as the options locate
// them: the same source, the same nibble order, and every phrase where the
// extraction or the last resize left it.
static stop check_manifest(const loaded_bank &bank, const bank_options &o, const manifest &m)
{
    // The lists as found from the working folder, for the messages.
    const std::string extracted_list = regions_path(m.regions, o.dir);
    const std::string list = regions_path(m.resized_regions, o.dir);
    if (o.regions == nullptr && !m.regions.empty())
        return nothing_changed("The manifest was made from the regions list " +
                               extracted_list + ", not from the phrase table: give --regions");
    if (o.regions != nullptr && m.regions.empty())
        return nothing_changed("The manifest was made from the phrase table, not from a regions "
                               "list");
    if (o.regions == nullptr && m.table_offset != o.table_offset)
        return nothing_changed("The manifest was made from the phrase table at " +
                               hex_address(m.table_offset) + ": give --table-offset " +
                               hex_address(m.table_offset));
    if (o.regions == nullptr && layout_name(m.layout) != layout_name(o.layout))
        return nothing_changed("The manifest was made with the layout " + layout_words(m.layout) +
                               ": give --layout " + layout_words(m.layout));
    if (m.order != o.order)
        return nothing_changed(std::string("The manifest was made with the ") +
                               (m.order == low_nibble_first ? "low" : "high") +
                               " nibble first: give the same nibble order");
    std::string extracted = layout_mismatch(bank, o, m, false);
    std::string resized = m.resized ? layout_mismatch(bank, o, m, true) : extracted;
    if (!extracted.empty() && resized.empty())
        return stop();
    if (extracted.empty()) {
        std::string moved = o.regions != nullptr && m.resized ? holds_resized_layout(bank, m) : "";
        if (moved.empty())
            return stop();
        return failed("%s: %s holds the layout a resize wrote, which %s does not describe: "
                      "give --regions %s; nothing was changed\n", moved.c_str(), o.rom,
                      o.regions, list.c_str());
    }
    std::string what_to_do =
        o.regions == nullptr
            ? std::string("extract from ") + o.rom + " again into another folder"
            : "give --regions " + extracted_list + ", the list it was extracted from" +
                  (list.empty() ? "" : ", or " + list + ", the one the last resize wrote") +
                  ", or extract again";
    return failed("%s\n%s matches neither the layout the phrases were extracted from nor one "
                  "a resize wrote: %s; nothing was changed\n", extracted.c_str(),
                  o.regions != nullptr ? o.regions : o.rom, what_to_do.c_str());
}

// Whether the ROM holds exactly these bytes as a phrase of length bytes at
// offset.
static bool holds(const loaded_bank &bank, int64_t offset, int64_t length,
                  const std::vector<unsigned char> &bytes)
{
    return int64_t(bytes.size()) == length &&
           memcmp(bytes.data(), bank.rom.data() + offset, size_t(length)) == 0;
}

// An edited phrase's new bytes, for the length it keeps or (with --resize)
// needs; it writes where they differ from the ROM's or its length changes.
// Every phrase is looked at; a problem is one line (its phrase's number put
// before it), the run refused after all of them.
static std::string encode_edit(const loaded_bank &bank, const bank_options &o,
                               const bank_phrase &p, phrase_work *w)
{
    std::string problem = read_edit(bank, p, o, w);
    if (!problem.empty())
        return problem;
    if (o.best && !sinc_possible(w->wav_rate, w->row->rate))
        return best_rates_refused(w->path.c_str(), w->wav_rate, w->row->rate).lines;
    // An entry holds a byte at least: a sound of no frames keeps one.
    int64_t length = may_resize(bank, o, p) ? std::max<int64_t>(1, w->needed) : p.length;
    const byte_span area = phrase_area(bank, o, p);
    if (length > area.to - area.from) // before its bytes are asked for
        return w->path + " needs " + std::to_string(length) + " bytes, more than the " +
               std::to_string(area.to - area.from) + " that phrases may take in " +
               area_name(bank, o, p) + "\n";
    problem = choose_level(bank, o, p, length, w);
    if (!problem.empty())
        return problem;
    if (stop refusal = encode_phrase(o, length, w))
        return refusal.lines;
    if (o.match_level && o.best) // the level was found on the default road
        w->new_peak = decoded_peak(w->bytes.data(), length, o.order);
    w->writes = !holds(bank, p.offset, p.length, w->bytes);
    return "";
}

static void encode_edits(const loaded_bank &bank, const bank_options &o, put_back_plan *plan)
{
    std::vector<size_t> edited;
    for (size_t i = 0; i < bank.phrases.size(); i++)
        if (plan->work[i].edited)
            edited.push_back(i);
    std::vector<std::string> problems(bank.phrases.size());
    progress shown;
    progress_start(&shown, "implant: encoding phrase", int64_t(edited.size()));
    std::atomic<size_t> next{0};
    std::mutex shown_lock;
    int64_t done = 0;
    auto work = [&](int) {
        for (size_t k; (k = next++) < edited.size();) {
            const size_t i = edited[k];
            {
                std::lock_guard<std::mutex> hold(shown_lock);
                progress_at(&shown, ++done);
            }
            try {
                problems[i] = encode_edit(bank, o, bank.phrases[i], &plan->work[i]);
            } catch (const std::bad_alloc &) {
                problems[i] = "out of memory\n";
            }
            if (o.resize == resize_none) // only a layout encodes again: one sound held at a time
                plan->work[i].sound = std::vector<unsigned char>();
        }
    };
    // The best road searches each phrase on one thread: phrases side by side.
    const int threads = o.best ? std::min({usable_processors(), 8, int(edited.size())}) : 1;
    std::vector<std::thread> helpers = start_threads(threads - 1, work);
    work(0);
    join_threads(helpers);
    for (size_t i = 0; i < problems.size(); i++)
        if (!problems[i].empty())
            plan->problems.push_back("Phrase " + phrase_label(bank.phrases[i]) + ": " + problems[i]);
    progress_end(&shown);
}

// Every phrase's problem, then one line for the run.
static stop problems_found(const put_back_plan &plan)
{
    const size_t n = plan.problems.size();
    const std::string lines =
        std::accumulate(plan.problems.begin(), plan.problems.end(), std::string());
    const std::string which = n == 1 ? "That phrase" : std::to_string(n) + " phrases";
    return after_line(lines, failed("%s cannot be put back: nothing was changed\n", which.c_str()));
}

// The bytes that differ from the phrase's own old ones (those it gained all
// count).
static int64_t bytes_changed(const loaded_bank &bank, const bank_phrase &p, const phrase_work &w)
{
    int64_t changed = 0, n = std::min(p.length, int64_t(w.bytes.size()));
    for (int64_t k = 0; k < n; k++)
        changed += bank.rom[size_t(p.offset + k)] != w.bytes[size_t(k)];
    return changed + std::max<int64_t>(0, int64_t(w.bytes.size()) - p.length);
}

// How the sound's length met its phrase's: a sound one byte too long was
// cut, and what that left out is far below a second.
static void report_fit(const phrase_work &w, float duration)
{
    if (!w.cut) {
        report_length(w.path.c_str(), w.waveblock_size, w.wav_rate, duration);
        return;
    }
    double lasts = double(w.waveblock_size / 4) / w.wav_rate;
    printf("Left out the last %.3f ms of %s: it needs one byte more than the phrase has\n",
           1000.0 * (lasts - double(duration)), w.path.c_str());
}

struct put_back_counts {
    int written = 0, already_there = 0, moved = 0;
};

// The line of a phrase that does not write but whose bytes another's new
// ones reach, if any.
static void report_reached(const loaded_bank &bank, const put_back_plan &plan, size_t j)
{
    const phrase_place &mine = plan.places[j];
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const phrase_place &theirs = plan.places[i];
        if (!plan.work[i].writes || theirs.offset >= mine.offset + mine.length ||
            mine.offset >= theirs.offset + theirs.length)
            continue;
        const std::string n = right_aligned(phrase_label(bank.phrases[j]), label_width(bank));
        const std::string other = phrase_label(bank.phrases[i]);
        int64_t from = std::max(mine.offset, theirs.offset),
                to = std::min(mine.offset + mine.length, theirs.offset + theirs.length);
        if (from == mine.offset && to == mine.offset + mine.length)
            printf("%s  now plays phrase %s's new bytes\n", n.c_str(), other.c_str());
        else
            printf("%s  its %s, %s to %s, is phrase %s's new bytes\n", n.c_str(),
                   to == mine.offset + mine.length ? "tail" : "middle",
                   hex_address(from).c_str(), hex_address(to - 1).c_str(), other.c_str());
    }
}

static put_back_counts report(const loaded_bank &bank, const bank_options &o,
                              const put_back_plan &plan)
{
    put_back_counts counts;
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        const phrase_work &w = plan.work[i];
        const phrase_place &at = plan.places[i];
        if (p.fault != bank_fault_none)
            continue;
        const std::string n = right_aligned(phrase_label(p), label_width(bank));
        const std::string other = label_of(p.other_bank, p.other);
        bool moved = at.offset != p.offset;
        counts.moved += moved && !p.alias;
        if (p.alias) {
            if (moved || at.length != p.length)
                printf("%s  the same bytes as phrase %s: now %s to %s\n", n.c_str(), other.c_str(),
                       hex_address(at.offset).c_str(), hex_address(at.offset + at.length - 1).c_str());
        } else if (w.writes) {
            counts.written++;
            printf("%s  %7lld of %lld bytes changed", n.c_str(),
                   static_cast<long long>(bytes_changed(bank, p, w)),
                   static_cast<long long>(at.length));
            if (moved)
                printf(", moved from %s to %s", hex_address(p.offset).c_str(), hex_address(at.offset).c_str());
            else if (at.length != p.length)
                printf(", %lld before", static_cast<long long>(p.length));
            printf(", max peak-to-peak %d, multiplier %f", w.report.level.peak,
                   static_cast<double>(w.report.level.multiplier));
            if (o.best && w.report.snr != 0.0f) // (0: a silent sound)
                printf(", signal-to-noise %.2f dB", static_cast<double>(w.report.snr));
            if (w.old_peak >= 0)
                printf(", peak %d, the old phrase's %d%s", w.new_peak, w.old_peak,
                       std::abs(w.new_peak - w.old_peak) * 50 > w.old_peak ? " (not within 2 %)"
                                                                          : "");
            printf("\n");
            report_fit(w, duration_of(static_cast<int>(2 * at.length), w.row->rate));
        } else {
            if (w.edited) {
                counts.already_there++;
                printf("%s  already in place: the ROM holds what %s encodes to\n", n.c_str(),
                       w.row->file.c_str());
            }
            if (moved || at.length != p.length)
                printf("%s  now %s to %s, %lld bytes%s\n", n.c_str(), hex_address(at.offset).c_str(),
                       hex_address(at.offset + at.length - 1).c_str(), static_cast<long long>(at.length),
                       p.inside && moved ? (", moved with phrase " + other).c_str() : "");
            report_reached(bank, plan, i);
        }
    }
    return counts;
}

// The ROM's files (by their index) that an implant writes: the one, or of
// several those whose bytes change.
static std::vector<size_t> files_written(const bank_options &o, const loaded_bank &bank,
                                         const std::vector<unsigned char> &rom)
{
    std::vector<size_t> files;
    for (size_t f = 0; f < bank.file_ends.size(); f++) {
        const int64_t from = f == 0 ? 0 : bank.file_ends[f - 1], to = bank.file_ends[f];
        if (o.roms.size() <= 1 ||
            !std::equal(rom.begin() + from, rom.begin() + to, bank.rom.begin() + from))
            files.push_back(f);
    }
    return files;
}

// The files an implant writes, each beside its target first, renamed only
// when all are written: with a new layout the regions list and the
// manifest that record it, then the ROM (so that a failure leaves the
// manifest knowing both layouts). A ROM of several files: each whose
// bytes changed, the others left as they are.
static stop write_all(const bank_options &o, const std::string &target,
                      const std::vector<unsigned char> &rom, const put_back_plan *new_layout,
                      const loaded_bank &bank, manifest *m)
{
    std::vector<std::pair<std::string, std::string>> texts; // name, bytes
    if (new_layout != nullptr) {
        if (o.regions != nullptr) {
            // Recorded as the extracted list is: found from any working folder.
            const std::string written = resized_list_name(o);
            m->resized_regions = regions_as_recorded(written.c_str(), o.dir);
            if (!fits_manifest(m->resized_regions))
                return failed("The resized regions list's name %s holds a control character, "
                              "which the manifest cannot name; nothing was changed\n",
                              excerpt(m->resized_regions).c_str());
            texts.push_back({written, regions_moved(bank, *new_layout)});
        }
        m->resized = true;
        for (size_t i = 0; i < bank.phrases.size(); i++) {
            manifest_row *r = row_of(m, bank.phrases[i].bank, bank.phrases[i].number);
            if (r == nullptr || bank.phrases[i].fault != bank_fault_none)
                continue;
            const phrase_place &at = new_layout->places[i];
            r->resized_offset = at.offset;
            r->resized_length = at.length;
            r->resized_hash = hash_of(hash_xxh64, rom.data() + at.offset, at.length);
        }
        texts.push_back({std::string(o.dir) + "/" + manifest_name, manifest_text(*m)});
    }
    std::vector<staged_file> staged(texts.size());
    for (size_t i = 0; i < texts.size(); i++)
        if (stop refusal = stage_file(texts[i].first.c_str(),
                                      reinterpret_cast<const unsigned char *>(texts[i].second.data()),
                                      int64_t(texts[i].second.size()), &staged[i]))
            return refusal;
    for (size_t f : files_written(o, bank, rom)) {
        const int64_t from = f == 0 ? 0 : bank.file_ends[f - 1], to = bank.file_ends[f];
        staged.emplace_back();
        if (stop refusal = stage_file(o.roms.size() <= 1 ? target.c_str() : o.roms[f],
                                      rom.data() + from, to - from, &staged.back()))
            return refusal;
    }
    return commit_staged(&staged);
}

// The locks an implant holds from before it reads until the end of the
// run: on the file it replaces, and with --resize on the manifest it
// rewrites.
struct held_locks {
    std::vector<file_lock *> targets; // the ROM's files
    file_lock *manifest = nullptr;
    held_locks() = default;
    held_locks(const held_locks &) = delete;
    held_locks &operator=(const held_locks &) = delete;
    ~held_locks()
    {
        release_lock(manifest);
        for (auto t = targets.rbegin(); t != targets.rend(); ++t)
            release_lock(*t);
    }
};

// Phrases that write nothing after all: where the layout left an edited
// phrase where it was, as long as it was, holding the ROM's bytes (an outer
// phrase that reaches over the phrases inside it, say).
static int settle_writes(const loaded_bank &bank, put_back_plan *plan)
{
    int writing = 0;
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        phrase_work &w = plan->work[i];
        if (w.writes && plan->places[i].offset == p.offset)
            w.writes = !holds(bank, p.offset, p.length, w.bytes);
        writing += w.writes;
    }
    return writing;
}

static std::string nothing_to_put_back(const bank_options &o, const put_back_plan &plan,
                                       bool copied)
{
    const int edited = int(std::count_if(plan.work.begin(), plan.work.end(),
                                         [](const phrase_work &w) { return w.edited; }));
    std::string copy = copied ? std::string("; ") + o.output + " is a copy of " + o.rom : "";
    if (edited == 0)
        return std::string("Nothing to put back: every WAV file in ") + o.dir +
               " is as it was extracted" + copy;
    return std::string("Nothing to put back: ") + rom_names(o) + " already holds " +
           (edited == 1 ? std::string("the one edited WAV file")
                        : "the " + plural(edited, "edited WAV file", "edited WAV files")) +
           " in " + o.dir + copy;
}

stop run_implant(const bank_options &given)
{
    bank_options o = given;
    if (o.output != nullptr && o.roms.size() > 1)
        return failed("--output writes one file, and the ROM is %d: give no --output, and each "
                      "is rewritten in place\n", int(o.roms.size()));
    const bool replaces_rom = o.output == nullptr || same_file(o.output, o.rom);
    const std::string target = replaces_rom ? o.rom : o.output;
    const std::string manifest_path = std::string(o.dir) + "/" + manifest_name;
    std::vector<const char *> targets = {target.c_str()};
    if (o.roms.size() > 1)
        targets = o.roms;
    held_locks locks;
    if (!o.dry_run) {
        for (const char *t : targets) {
            if (stop refusal = check_replaceable(t))
                return refusal;
            locks.targets.push_back(nullptr);
            if (stop refusal = lock_for_replacing(t, &locks.targets.back()))
                return refusal;
        }
        if (o.resize != resize_none)
            if (stop refusal = lock_for_replacing(manifest_path.c_str(), &locks.manifest))
                return refusal;
    }
    // The manifest first: what the command line leaves out of where the
    // phrases are, it says.
    manifest m;
    std::string why, regions;
    if (!read_manifest(manifest_path, &m, &why))
        return nothing_changed(why);
    take_source(m, &o, &regions);
    if (stop refusal = check_paged_table(o))
        return refusal;
    if (o.resize == resize_compact && banked(o))
        return nothing_changed("--resize=compact lays every phrase out again in one table's "
                               "order, and with --layout " + layout_name(o.layout) +
                               " each stays in its own bank's area: give --resize");
    loaded_bank bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    if (stop refusal = check_manifest(bank, o, m))
        return refusal;
    if (stop refusal = refuse_implausible_table(o, bank))
        return refusal;
    print_faults(bank, o);

    put_back_plan plan;
    plan.work.resize(bank.phrases.size());
    find_edits(bank, o, m, &plan);
    encode_edits(bank, o, &plan);
    if (!plan.problems.empty())
        return problems_found(plan);
    if (stop refusal = settle_shared_bytes(bank, o, &plan))
        return refusal;
    if (stop refusal = lay_out(bank, o, &plan))
        return refusal;
    for (phrase_work &w : plan.work)
        w.sound = std::vector<unsigned char>();
    if (settle_writes(bank, &plan) == 0) {
        plan.places = places_as_they_are(bank);
        report(bank, o, plan);
        if (!replaces_rom && !o.dry_run)
            if (stop refusal = write_all(o, target, bank.rom, nullptr, bank, &m))
                return refusal;
        printf("%s\n", nothing_to_put_back(o, plan, !replaces_rom && !o.dry_run).c_str());
        return stop();
    }
    const std::vector<unsigned char> rom = new_rom(bank, o, plan);
    put_back_counts counts = report(bank, o, plan);
    std::vector<std::string> written = {target};
    if (o.roms.size() > 1) {
        written.clear();
        for (size_t f : files_written(o, bank, rom))
            written.push_back(o.roms[f]);
    }
    std::string done =
        "Put " + plural(counts.written, "phrase", "phrases") + " back into " + names_of(written);
    if (!replaces_rom)
        done += std::string(" (") + o.rom + " is as it was)";
    if (counts.moved > 0 || counts.already_there > 0) {
        done += ":";
        if (counts.moved > 0)
            done += " " + plural(counts.moved, "phrase", "phrases") + " moved";
        if (counts.already_there > 0)
            done += std::string(counts.moved > 0 ? "," : "") + " " +
                    std::to_string(counts.already_there) + " already in place";
    }
    if (o.dry_run) {
        printf("A dry run: nothing was written\n");
        return stop();
    }
    if (stop refusal = write_all(o, target, rom, o.resize != resize_none ? &plan : nullptr, bank,
                                 &m))
        return refusal;
    if (o.resize != resize_none && o.regions != nullptr)
        printf("Wrote the regions list laid out again: %s\n", resized_list_name(o).c_str());
    printf("%s\n", done.c_str());
    return stop();
}
