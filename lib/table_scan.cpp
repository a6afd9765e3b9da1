#include "table_scan.h"

#include <algorithm>
#include <cstring>

namespace sndtools {

table_judgement judge_table(const std::vector<bank_phrase> &phrases, int64_t table_offset)
{
    table_judgement j{};
    j.offset = table_offset;
    std::vector<byte_span> spans;
    for (const bank_phrase &p : phrases) {
        j.non_empty++;
        if (p.fault != bank_fault_none)
            j.bad++;
        else if (!p.alias) {
            j.usable++;
            spans.push_back(byte_span{p.offset, p.offset + p.length});
        }
    }
    const std::vector<byte_span> merged = merged_spans(spans);
    const int64_t from = table_offset + bank_table_size;
    j.follows = true;
    for (size_t i = 0; i < merged.size(); i++) {
        j.covered += merged[i].to - merged[i].from;
        if (i > 0 && merged[i].from - merged[i - 1].to > 16) // padding to an alignment at most
            j.follows = false;
    }
    if (!merged.empty()) {
        j.unexplained = merged.back().to - from - j.covered;
        j.starts_after = merged.front().from == from;
    }
    // A bad entry counts as a phrase the reading fails to explain.
    const int64_t mean = j.usable > 0 ? j.covered / j.usable : 0;
    j.score = j.covered - j.unexplained - j.bad * mean;
    return j;
}

bool table_implausible(const table_judgement &j)
{
    return j.usable == 0 || 2 * j.bad > j.non_empty;
}

static bool judged(const unsigned char *rom, int64_t rom_size, int64_t offset,
                   table_judgement *j)
{
    std::vector<bank_phrase> phrases;
    if (!read_phrase_table(rom, rom_size, offset, &phrases))
        return false;
    *j = judge_table(phrases, offset);
    return true;
}

// A plausible rival whose 1024 bytes overlap given's and that explains the
// ROM clearly better: its phrases start right after it and given's do not,
// at a score not lower; or a score higher by more than an eighth of the
// bytes it covers (at least 1024).
static bool clearly_better(const table_judgement &rival, const table_judgement &given)
{
    int64_t distance = rival.offset - given.offset;
    if (distance == 0 || distance <= -bank_table_size || distance >= bank_table_size ||
        table_implausible(rival))
        return false;
    if (rival.starts_after && !given.starts_after && rival.score >= given.score)
        return true;
    return rival.score - given.score > std::max(rival.covered / 8, int64_t(1024));
}

// Of equal scores the later reading: one that starts earlier over empty
// bytes reads the same entries with entry 1 empty, which the chip's tables
// keep for a phrase.
static bool judged_above(const table_judgement &a, const table_judgement &b)
{
    return a.score != b.score ? a.score > b.score : a.offset > b.offset;
}

bool better_table_near(const unsigned char *rom, int64_t rom_size, const table_judgement &given,
                       table_judgement *rival)
{
    bool found = false;
    for (int64_t d = 8 - bank_table_size; d < bank_table_size; d += 8) {
        table_judgement r;
        if (d == 0 || !judged(rom, rom_size, given.offset + d, &r) || !clearly_better(r, given))
            continue;
        if (!found || judged_above(r, *rival)) {
            *rival = r;
            found = true;
        }
    }
    return found;
}

namespace {

enum entry_kind { entry_empty, entry_bad, entry_maybe };

// What an entry is in a table anywhere: its addresses are the table's own,
// so only "past the file" depends on where the table lies.
entry_kind kind_of(const unsigned char *e, int64_t *start, int64_t *end)
{
    if (!table_entry_addresses(e, start, end))
        return entry_empty;
    return table_entry_fault(*start, *end, 0, INT64_MAX) != bank_fault_none ? entry_bad
                                                                          : entry_maybe;
}

entry_kind kind_at(const unsigned char *rom, int64_t block)
{
    int64_t start, end;
    return kind_of(rom + 8 * block, &start, &end);
}

// A candidate's entries counted without the sweeps for shared bytes, to
// rank the readings of one place before judging the best few whole.
struct quick_look {
    int64_t offset;
    bool starts_after;
    int64_t bytes; // the usable entries' lengths, less the mean for each bad one
    bool plausible;
};

quick_look look_at(const unsigned char *rom, int64_t rom_size, int64_t offset)
{
    int usable = 0, bad = 0;
    int64_t bytes = 0, lowest = INT64_MAX;
    for (int n = 1; n < bank_table_entries; n++) {
        int64_t start = 0, end = 0;
        entry_kind k = kind_of(rom + offset + 8 * n, &start, &end);
        if (k == entry_maybe && offset + end >= rom_size)
            k = entry_bad;
        if (k == entry_bad)
            bad++;
        if (k != entry_maybe)
            continue;
        usable++;
        bytes += end - start + 1;
        lowest = std::min(lowest, start);
    }
    const int64_t mean = usable > 0 ? bytes / usable : 0;
    return quick_look{offset, lowest == bank_table_size, bytes - bad * mean,
                      usable > 0 && bad <= usable};
}

bool ranks_above(const quick_look &a, const quick_look &b)
{
    if (a.starts_after != b.starts_after)
        return a.starts_after;
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.offset > b.offset;
}

// The readings of one place (each overlapping the one before), the best
// few kept; the best of them judged whole.
struct place_readings {
    std::vector<quick_look> best;
    int64_t last = -1;
};

const size_t readings_kept = 4;

void keep(place_readings *p, const quick_look &q)
{
    p->best.push_back(q);
    std::sort(p->best.begin(), p->best.end(), ranks_above);
    if (p->best.size() > readings_kept)
        p->best.pop_back();
    p->last = q.offset;
}

void close_place(const unsigned char *rom, int64_t rom_size, place_readings *p,
                 std::vector<table_judgement> *found)
{
    bool any = false;
    table_judgement best{};
    for (const quick_look &q : p->best) {
        table_judgement j;
        if (judged(rom, rom_size, q.offset, &j) && !table_implausible(j) &&
            (!any || judged_above(j, best))) {
            best = j;
            any = true;
        }
    }
    if (any)
        found->push_back(best);
    *p = place_readings();
}

} // namespace

// A window of the entries' kinds slides along the ROM: a candidate is
// looked at only where its entries could hold at least one phrase and no
// more bad entries than phrases, so that ADPCM data and fill cost one
// entry's kind a step.
std::vector<table_judgement> scan_tables(const unsigned char *rom, int64_t rom_size, size_t most)
{
    std::vector<table_judgement> found;
    const int64_t candidates =
        rom_size < bank_table_size ? 0 : (rom_size - bank_table_size) / 8 + 1;
    // Counted apart, not through an array indexed by kind: the loop is
    // the whole scan's time.
    int maybe = 0, bad = 0;
    unsigned char window[bank_table_entries] = {}; // the entries' kinds, by block % entries
    for (int64_t b = 1; b < bank_table_entries - 1 && candidates > 0; b++) {
        window[b] = static_cast<unsigned char>(kind_at(rom, b));
        maybe += window[b] == entry_maybe;
        bad += window[b] == entry_bad;
    }
    place_readings place;
    for (int64_t c = 0; c < candidates; c++) {
        // Entries c+1..c+127: block c leaves (block 0, empty, for the first),
        // block c+127 comes.
        const unsigned char leaving = window[c % bank_table_entries];
        maybe -= leaving == entry_maybe;
        bad -= leaving == entry_bad;
        const int64_t next = c + bank_table_entries - 1;
        const unsigned char coming = static_cast<unsigned char>(kind_at(rom, next));
        maybe += coming == entry_maybe;
        bad += coming == entry_bad;
        window[next % bank_table_entries] = coming;
        const int64_t offset = 8 * c;
        if (place.last >= 0 && offset - place.last >= bank_table_size)
            close_place(rom, rom_size, &place, &found);
        if (maybe == 0 || bad > maybe)
            continue;
        quick_look q = look_at(rom, rom_size, offset);
        if (q.plausible)
            keep(&place, q);
    }
    close_place(rom, rom_size, &place, &found);
    std::stable_sort(found.begin(), found.end(), [](const table_judgement &a,
                                                    const table_judgement &b) {
        return a.score > b.score;
    });
    if (found.size() > most)
        found.resize(most);
    return found;
}

namespace {

struct order_measure {
    int64_t at_limits;
    int64_t energy;  // the sum of the squares of the samples
    int64_t changes; // the sum of the squares of the samples' first differences
    int64_t bends;   // and of their second differences
};

const int64_t measured_bytes = 64 * 1024;

order_measure measure(const unsigned char *bytes, int64_t length, nibble_order order)
{
    order_measure m{0, 0, 0, 0};
    int32_t samples[2 * 4096];
    int64_t before = 0, change = 0;
    ad_state state{0, 0};
    length = std::min(length, measured_bytes);
    for (int64_t at = 0; at < length; at += 4096) {
        int64_t n = std::min(length - at, int64_t(4096));
        decode_region(&state, bytes + at, n, order, samples);
        for (int64_t i = 0; i < 2 * n; i++) {
            int64_t x = samples[i], d = x - before, bend = d - change;
            m.at_limits += x == -2048 || x == 2047;
            m.energy += x * x;
            m.changes += d * d;
            m.bends += bend * bend;
            before = x;
            change = d;
        }
    }
    return m;
}

// The share of the changes' energy at the highest frequencies. (Against
// the signal's own energy a wrong order would look smooth: its errors add
// up to a slow drift that outweighs the rest.)
double roughness(const order_measure &m)
{
    return m.changes > 0 ? double(m.bends) / double(m.changes) : 0.0;
}

// How much the samples change against how large they are. Decoded in
// the wrong order, the codes are steps at random: the samples wander off
// in a slow drift (to the limits when loud), where a sound changes many
// times more.
double liveliness(const order_measure &m)
{
    return m.energy > 0 ? double(m.changes) / double(m.energy) : 0.0;
}

bool cleaner(const order_measure &other, const order_measure &given)
{
    bool fewer_at_limits = given.at_limits >= 8 && 8 * other.at_limits <= given.at_limits &&
                           roughness(other) < roughness(given);
    bool given_drifts = liveliness(other) > 4.0 * liveliness(given) &&
                        4 * other.at_limits <= given.at_limits;
    return fewer_at_limits || given_drifts;
}

} // namespace

bool other_order_cleaner(const unsigned char *rom, const std::vector<bank_phrase> &phrases,
                         nibble_order order)
{
    const nibble_order other = order == low_nibble_first ? high_nibble_first : low_nibble_first;
    int looked = 0, cleaner_ones = 0;
    for (const bank_phrase &p : phrases) {
        if (!bank_sound(p) || p.inside || p.length < 64)
            continue;
        looked++;
        const unsigned char *bytes = rom + p.offset;
        cleaner_ones += cleaner(measure(bytes, p.length, other), measure(bytes, p.length, order));
    }
    return looked > 0 && 2 * cleaner_ones > looked;
}

} // namespace sndtools
