// sndbank implant: every phrase whose WAV file differs from what extract
// wrote, put back as sndimplant puts it wherever the ROM does not hold its
// bytes yet (with --resize, given the length it needs); the whole new ROM
// built first, then put in place of the old, or written to another file,
// in one step with the files that describe it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "counts.h"
#include "files.h"
#include "put_back.h"

using namespace sndtools;

static stop nothing_changed(const std::string &why)
{
    return failed("%s: nothing was changed\n", why.c_str());
}

static std::string hex(int64_t offset)
{
    char text[32];
    snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(offset));
    return text;
}

// The first phrase whose place differs from the layout's (resized: the
// manifest's resized one), as a line; empty when every phrase of the ROM
// is where the manifest has it, and the manifest has no other.
static std::string layout_mismatch(const bank_layout &bank, const bank_options &o,
                                   const manifest &m, bool resized)
{
    size_t phrases = 0;
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none)
            continue;
        phrases++;
        const manifest_row *row = row_of(m, p.number);
        std::string n = "Phrase " + std::to_string(p.number);
        if (row == nullptr)
            return n + " of " + o.rom + " is not in the manifest";
        int64_t offset = resized ? row->resized_offset : row->offset;
        int64_t length = resized ? row->resized_length : row->length;
        if (offset != p.offset || length != p.length)
            return n + ": the manifest says " + std::to_string(length) + " bytes at " +
                   hex(offset) + (resized ? " after its resize" : " as extracted") + ", " +
                   o.rom + " " + std::to_string(p.length) + " bytes at " + hex(p.offset);
    }
    if (phrases == m.rows.size())
        return "";
    for (const manifest_row &r : m.rows) {
        bool found = false;
        for (const bank_phrase &p : bank.phrases)
            found = found || (p.fault == bank_fault_none && p.number == r.number);
        if (!found)
            return "Phrase " + std::to_string(r.number) + " of the manifest is no phrase of " +
                   o.rom;
    }
    return "";
}

// The manifest must be the one of this ROM's phrases, as the options locate
// them: the same source, the same nibble order, and every phrase where the
// extraction or the last resize left it.
static stop check_manifest(const bank_layout &bank, const bank_options &o, const manifest &m)
{
    if (o.regions == nullptr && !m.regions.empty())
        return nothing_changed("The manifest was made from the regions list " +
                               excerpt(m.regions) + ", not from the phrase table: give --regions");
    if (o.regions != nullptr && m.regions.empty())
        return nothing_changed("The manifest was made from the phrase table, not from a regions "
                               "list");
    if (o.regions == nullptr && m.table_offset != o.table_offset)
        return nothing_changed("The manifest was made from the phrase table at " +
                               hex(m.table_offset) + ": give --table-offset " +
                               hex(m.table_offset));
    if (m.order != o.order)
        return nothing_changed(std::string("The manifest was made with the ") +
                               (m.order == low_nibble_first ? "low" : "high") +
                               " nibble first: give the same nibble order");
    std::string extracted = layout_mismatch(bank, o, m, false);
    if (extracted.empty() || (m.resized && layout_mismatch(bank, o, m, true).empty()))
        return stop();
    std::string what_to_do =
        !m.resized_regions.empty()
            ? "give --regions " + excerpt(m.resized_regions) + ", the list the last resize wrote, "
              "or the list that was extracted from"
            : std::string("extract from ") + o.rom + " again into another folder";
    return failed("%s\n%s matches neither the layout the phrases were extracted from nor the one "
                  "a resize wrote: %s; nothing was changed\n", extracted.c_str(),
                  o.regions != nullptr ? o.regions : o.rom, what_to_do.c_str());
}

// An edited phrase's new bytes, for the length it keeps or (with --resize)
// needs; it writes where they differ from the ROM's or its length changes.
static stop encode_edits(const bank_layout &bank, const bank_options &o, put_back_plan *plan)
{
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        phrase_work &w = plan->work[i];
        if (!w.edited)
            continue;
        if (stop refusal = look_at_header(p, o, &w))
            return refusal;
        int64_t length = o.resize != resize_none ? w.needed : p.length;
        const int64_t space = space_to(o, bank) - space_from(o);
        if (length > space) // before its bytes are asked for
            return failed("Phrase %d: %s needs %lld bytes, more than the %lld that phrases may "
                          "take in %s; nothing was changed\n", p.number, w.path.c_str(),
                          static_cast<long long>(length), static_cast<long long>(space), o.rom);
        if (stop refusal = encode_phrase(o, p, length, &w))
            return refusal;
        w.writes = length != p.length ||
                   memcmp(w.bytes.data(), bank.rom.data() + p.offset, size_t(length)) != 0;
    }
    return stop();
}

// The bytes that differ from the phrase's own old ones (those it gained all
// count).
static int64_t bytes_changed(const bank_layout &bank, const bank_phrase &p, const phrase_work &w)
{
    int64_t changed = 0, n = std::min(p.length, int64_t(w.bytes.size()));
    for (int64_t k = 0; k < n; k++)
        changed += bank.rom[size_t(p.offset + k)] != w.bytes[size_t(k)];
    return changed + std::max<int64_t>(0, int64_t(w.bytes.size()) - p.length);
}

struct put_back_counts {
    int written = 0, in_place = 0, moved = 0;
};

// The line of a phrase that does not write but whose bytes another's new
// ones reach, if any.
static void report_reached(const bank_layout &bank, const put_back_plan &plan,
                           const std::vector<size_t> &writing, size_t j)
{
    const phrase_place &mine = plan.places[j];
    for (size_t i : writing) {
        const phrase_place &theirs = plan.places[i];
        if (theirs.offset >= mine.offset + mine.length ||
            mine.offset >= theirs.offset + theirs.length)
            continue;
        int n = bank.phrases[j].number, other = bank.phrases[i].number;
        if (theirs.offset <= mine.offset && mine.offset + mine.length <= theirs.offset + theirs.length)
            printf("%3d  now plays phrase %d's new bytes\n", n, other);
        else
            printf("%3d  its bytes %s to %s are phrase %d's new ones\n", n,
                   hex(std::max(mine.offset, theirs.offset)).c_str(),
                   hex(std::min(mine.offset + mine.length, theirs.offset + theirs.length) - 1)
                       .c_str(),
                   other);
    }
}

static put_back_counts report(const bank_layout &bank, const put_back_plan &plan)
{
    put_back_counts counts;
    std::vector<size_t> writing;
    for (size_t i = 0; i < bank.phrases.size(); i++)
        if (plan.work[i].writes)
            writing.push_back(i);
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        const phrase_work &w = plan.work[i];
        const phrase_place &at = plan.places[i];
        if (p.fault != bank_fault_none)
            continue;
        bool moved = at.offset != p.offset;
        counts.moved += moved && !p.alias;
        if (p.alias) {
            if (moved || at.length != p.length)
                printf("%3d  the same bytes as phrase %d: now %s to %s\n", p.number, p.other,
                       hex(at.offset).c_str(), hex(at.offset + at.length - 1).c_str());
        } else if (w.writes) {
            counts.written++;
            printf("%3d  %7lld of %lld bytes changed", p.number,
                   static_cast<long long>(bytes_changed(bank, p, w)),
                   static_cast<long long>(at.length));
            if (moved)
                printf(", moved from %s to %s", hex(p.offset).c_str(), hex(at.offset).c_str());
            else if (at.length != p.length)
                printf(", %lld before", static_cast<long long>(p.length));
            printf(", max peak-to-peak %d, multiplier %f\n", w.report.level.peak,
                   static_cast<double>(w.report.level.multiplier));
            report_length(w.path.c_str(), w.waveblock_size, w.samplerate_in,
                          duration_of(static_cast<int>(2 * at.length), w.row->rate));
        } else {
            if (w.edited) {
                counts.in_place++;
                printf("%3d  already in place: the ROM holds what %s encodes to\n", p.number,
                       w.row->file.c_str());
            }
            if (moved || at.length != p.length)
                printf("%3d  now %s to %s, %lld bytes%s\n", p.number, hex(at.offset).c_str(),
                       hex(at.offset + at.length - 1).c_str(), static_cast<long long>(at.length),
                       p.inside && moved ? (", moved with phrase " + std::to_string(p.other))
                                               .c_str()
                                         : "");
            report_reached(bank, plan, writing, i);
        }
    }
    return counts;
}

static std::string counted(int n, const char *what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// The files an implant writes, each beside its target first, renamed only
// when all are written: the regions list and the manifest a resize changes,
// then the ROM (so that a failure leaves the manifest knowing both
// layouts).
static stop write_all(const bank_options &o, const std::string &target,
                      const std::vector<unsigned char> &rom, const put_back_plan &plan,
                      const bank_layout &bank, manifest *m)
{
    std::vector<std::pair<std::string, std::string>> texts; // name, bytes
    if (o.resize != resize_none && !plan.places.empty()) {
        if (o.regions != nullptr) {
            m->resized_regions = resized_list_name(o);
            if (!fits_manifest(m->resized_regions))
                return failed("The resized regions list's name %s holds a control character, "
                              "which the manifest cannot name; nothing was changed\n",
                              excerpt(m->resized_regions).c_str());
            texts.push_back({m->resized_regions, regions_moved(bank, plan)});
        }
        m->resized = true;
        for (manifest_row &r : m->rows)
            for (size_t i = 0; i < bank.phrases.size(); i++)
                if (bank.phrases[i].number == r.number &&
                    bank.phrases[i].fault == bank_fault_none) {
                    r.resized_offset = plan.places[i].offset;
                    r.resized_length = plan.places[i].length;
                }
        texts.push_back({std::string(o.dir) + "/" + manifest_name, manifest_text(*m)});
    }
    std::vector<staged_file> staged(texts.size() + 1);
    for (size_t i = 0; i < texts.size(); i++)
        if (stop refusal = stage_file(texts[i].first.c_str(),
                                      reinterpret_cast<const unsigned char *>(texts[i].second.data()),
                                      int64_t(texts[i].second.size()), &staged[i]))
            return refusal;
    if (stop refusal = stage_file(target.c_str(), rom.data(), int64_t(rom.size()), &staged.back()))
        return refusal;
    return commit_staged(&staged);
}

// The lock on the file an implant replaces, held from before the ROM is
// read until the end of the run.
struct held_lock {
    file_lock *lock = nullptr;
    held_lock() = default;
    held_lock(const held_lock &) = delete;
    held_lock &operator=(const held_lock &) = delete;
    ~held_lock()
    {
        if (lock != nullptr)
            release_lock(lock);
    }
};

stop run_implant(const bank_options &o)
{
    const bool in_place = o.output == nullptr || same_file(o.output, o.rom);
    const std::string target = in_place ? o.rom : o.output;
    held_lock lock;
    if (!o.dry_run) {
        if (stop refusal = check_replaceable(target.c_str()))
            return refusal;
        if (stop refusal = lock_for_replacing(target.c_str(), &lock.lock))
            return refusal;
    }
    bank_layout bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    manifest m;
    std::string why;
    if (!read_manifest(std::string(o.dir) + "/" + manifest_name, &m, &why))
        return nothing_changed(why);
    if (stop refusal = check_manifest(bank, o, m))
        return refusal;
    print_faults(bank, o);

    put_back_plan plan;
    plan.work.resize(bank.phrases.size());
    if (stop refusal = find_edits(bank, o, m, &plan))
        return refusal;
    int edited = 0;
    for (const phrase_work &w : plan.work)
        edited += w.edited;
    if (stop refusal = encode_edits(bank, o, &plan))
        return refusal;
    int writing = 0;
    for (const phrase_work &w : plan.work)
        writing += w.writes;
    if (writing == 0) {
        if (stop refusal = lay_out(bank, o, &plan)) // where every phrase is
            return refusal;
        report(bank, plan);
        plan.places.clear(); // the manifest keeps the layout it knows
        std::string copy = in_place || o.dry_run
                               ? ""
                               : "; " + target + " is written as a copy of " + o.rom;
        if (!in_place && !o.dry_run)
            if (stop refusal = write_all(o, target, bank.rom, plan, bank, &m))
                return refusal;
        if (edited == 0)
            printf("Nothing to put back: every WAV file in %s is as it was extracted%s\n", o.dir,
                   copy.c_str());
        else
            printf("Nothing to put back: %s already holds %s in %s%s\n", o.rom,
                   edited == 1 ? "the one edited WAV file"
                               : ("the " + counted(edited, "edited WAV file")).c_str(),
                   o.dir, copy.c_str());
        return stop();
    }
    if (stop refusal = settle_shared_bytes(bank, o, &plan))
        return refusal;
    if (stop refusal = lay_out(bank, o, &plan))
        return refusal;
    const std::vector<unsigned char> rom = new_rom(bank, o, plan);
    put_back_counts counts = report(bank, plan);
    std::string done = "Put " + counted(counts.written, "phrase") + " back into " + target;
    if (!in_place)
        done += std::string(" (") + o.rom + " is as it was)";
    if (counts.moved > 0 || counts.in_place > 0) {
        done += ":";
        if (counts.moved > 0)
            done += " " + counted(counts.moved, "phrase") + " moved";
        if (counts.in_place > 0)
            done += std::string(counts.moved > 0 ? "," : "") + " " +
                    std::to_string(counts.in_place) + " already in place";
    }
    if (o.dry_run) {
        printf("A dry run: nothing was written\n");
        return stop();
    }
    if (stop refusal = write_all(o, target, rom, plan, bank, &m))
        return refusal;
    if (o.resize != resize_none && o.regions != nullptr)
        printf("Wrote the regions list laid out again: %s\n", m.resized_regions.c_str());
    printf("%s\n", done.c_str());
    return stop();
}
