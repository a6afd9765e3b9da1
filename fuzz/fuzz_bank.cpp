// sndbank's readers on arbitrary bytes: the MSM6295's phrase table, the
// tables of every ROM layout, a list of regions and the manifest (bank.tsv).
// Every phrase that can be used lies
// inside the file, phrases share bytes only when one lies in the other or
// they are alike, and every mark names a phrase that fits it; the new
// layouts keep phrases apart and within their space, and the fill byte is
// counted without a read past the ROM (the ROM and the texts sit in heap
// blocks of exactly their size, so such a read is an AddressSanitizer
// report). In a layout, each phrase lies where its bank's view and the
// board's formula both put it, and once per distinct bytes. A manifest that is accepted reads back the same from its own
// text; one that is refused says why in a few hundred bytes at most. Every
// check is a sort or a sweep: a list of thousands of lines stays quick.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "bank.h"
#include "fuzz_input.h"
#include "layouts.h"
#include "manifest.h"
#include "sndbank.h"
#include "table_scan.h"

using namespace sndtools;

// Large enough for a table followed by the 256 KiB the chip addresses and
// more; a list's ROM smaller, so that the byte counts stay quick.
const int64_t largest_table_rom = 0x44000, largest_list_rom = 0x10000;
// A layout's ROM holds pages past the 256 KiB; a window repeats at most
// most_windows times in it, so that a run reads a few thousand entries.
const int64_t largest_layout_rom = 0x100000, most_windows = 64;

// A breach: the check's line (the stack may not give it), then an abort
// that libFuzzer reports.
static void require_at(bool holds, int line)
{
    if (!holds) {
        fprintf(stderr, "fuzz_bank.cpp:%d: the check fails\n", line);
        abort();
    }
}
#define require(holds) require_at((holds), __LINE__)

// A line's number, decimal or after "0x" hexadecimal; fallback when empty.
static int64_t line_number(const std::string &line, int64_t fallback)
{
    if (line.empty())
        return fallback;
    bool hex = line.size() > 2 && line[0] == '0' && line[1] == 'x';
    int64_t v = 0;
    for (size_t i = hex ? 2 : 0; i < line.size() && v < (int64_t(1) << 40); i++) {
        char c = line[i];
        int digit = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : -1;
        if (digit < 0)
            break;
        v = v * (hex ? 16 : 10) + digit;
    }
    return v;
}

// The ROM: the bytes given, then up to its size a pattern the choice picks
// (copied in blocks: a ROM of a few hundred KiB stays quick).
static std::vector<unsigned char> rom_of(const std::string &bytes, int64_t size, unsigned pattern)
{
    std::vector<unsigned char> rom(static_cast<size_t>(size));
    const size_t given = std::min(bytes.size(), rom.size());
    if (given > 0)
        memcpy(rom.data(), bytes.data(), given);
    std::string cycle; // whole rounds of the input's bytes, or 256 bytes of a pattern
    if (pattern == 2 && !bytes.empty())
        while (cycle.size() < 256)
            cycle += bytes;
    else
        for (int i = 0; i < 256; i++)
            cycle += pattern == 0 ? '\0' : pattern == 3 ? static_cast<char>(i * 7) : '\xFF';
    for (size_t at = given; at < rom.size();) {
        const size_t phase = at % cycle.size();
        const size_t n = std::min(cycle.size() - phase, rom.size() - at);
        memcpy(rom.data() + at, cycle.data() + phase, n);
        at += n;
    }
    return rom;
}

static int64_t end_of(const bank_phrase &p)
{
    return p.offset + p.length;
}

static bool same_bytes(const bank_phrase &a, const bank_phrase &b)
{
    return a.offset == b.offset && a.length == b.length;
}

// The phrase of a number (the numbers rise, checked first), or null.
static const bank_phrase *by_number(const std::vector<bank_phrase> &phrases, int number)
{
    auto p = std::lower_bound(phrases.begin(), phrases.end(), number,
                              [](const bank_phrase &a, int n) { return a.number < n; });
    return p != phrases.end() && p->number == number ? &*p : nullptr;
}

static size_t index_of(const std::vector<bank_phrase> &phrases, const bank_phrase *p)
{
    return size_t(p - phrases.data());
}

// What the two readers share: each phrase's fault and marks, and the
// phrases that can be used nest or keep apart.
static void check_phrases(const std::vector<bank_phrase> &phrases, int64_t rom_size, bool table,
                          int64_t table_offset)
{
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        require(int(p.fault) >= bank_fault_none && int(p.fault) <= bank_fault_same_name);
        require(p.number >= 1 && (i == 0 || p.number > phrases[i - 1].number));
        // An overlap is found among the placed phrases: its place is sound.
        if (p.fault == bank_fault_none || p.fault == bank_fault_overlap) {
            require(p.offset >= 0 && p.length >= 1 && end_of(p) <= rom_size);
            if (table)
                require(p.offset >= table_offset + bank_table_size &&
                        end_of(p) <= table_offset + bank_chip_space);
        }
        if (p.fault != bank_fault_none)
            require(!p.alias && !p.inside);
        require(!(p.alias && p.inside));
    }
    for (const bank_phrase &p : phrases) {
        const bank_phrase *o = p.inside || p.alias || p.fault == bank_fault_overlap ||
                                       p.fault == bank_fault_same_name
                                   ? by_number(phrases, p.other)
                                   : nullptr;
        if (p.inside)
            require(o != nullptr && o->fault == bank_fault_none && !o->inside && !o->alias &&
                    o->offset <= p.offset && end_of(p) <= end_of(*o) && !same_bytes(*o, p));
        if (p.alias)
            require(o != nullptr && o->fault == bank_fault_none && !o->alias &&
                    o->number < p.number && same_bytes(*o, p));
        // Two phrases that cross: each is the other's fault.
        if (p.fault == bank_fault_overlap)
            require(o != nullptr && o != &p && o->fault == bank_fault_overlap &&
                    std::max(o->offset, p.offset) < std::min(end_of(*o), end_of(p)) &&
                    !(o->offset <= p.offset && end_of(p) <= end_of(*o)) &&
                    !(p.offset <= o->offset && end_of(*o) <= end_of(p)));
        if (p.fault == bank_fault_same_name)
            require(o != nullptr && o->number < p.number);
    }
    // A sweep in order of offset, longer ones first: the open phrases form a
    // chain, each inside the one below it.
    std::vector<const bank_phrase *> order;
    for (const bank_phrase &p : phrases)
        if (p.fault == bank_fault_none)
            order.push_back(&p);
    std::sort(order.begin(), order.end(), [](const bank_phrase *a, const bank_phrase *b) {
        if (a->offset != b->offset)
            return a->offset < b->offset;
        return a->length != b->length ? a->length > b->length : a->number < b->number;
    });
    struct open_phrase {
        const bank_phrase *p;
        int first_alike; // the number of the first phrase of its bytes
    };
    std::vector<open_phrase> open;
    for (const bank_phrase *p : order) {
        while (!open.empty() && end_of(*open.back().p) <= p->offset)
            open.pop_back();
        int first_alike = p->number;
        if (open.empty()) {
            require(!p->inside && !p->alias);
        } else {
            const bank_phrase *top = open.back().p;
            require(end_of(*p) <= end_of(*top)); // no two cross
            if (same_bytes(*top, *p)) {
                first_alike = open.back().first_alike;
                require(p->alias && p->other == first_alike);
            } else {
                require(p->inside && p->other == open.front().p->number);
            }
        }
        open.push_back(open_phrase{p, first_alike});
    }
}

// The entries of the table read literally (the TT5665's: 512 of them in
// 16 MiB).
static void check_table(const std::vector<unsigned char> &rom, int64_t table_offset,
                        const std::vector<bank_phrase> &phrases,
                        int entries = bank_table_entries, int64_t space = bank_chip_space)
{
    const int64_t rom_size = int64_t(rom.size());
    size_t k = 0;
    for (int n = 1; n < entries; n++) {
        const unsigned char *e = rom.data() + table_offset + 8 * n;
        bool zeros = true, ones = true;
        for (int b = 0; b < 8; b++) {
            zeros = zeros && e[b] == 0x00;
            ones = ones && e[b] == 0xFF;
        }
        if (zeros || ones)
            continue; // empty
        require(k < phrases.size());
        const bank_phrase &p = phrases[k++];
        const int64_t start = int64_t(e[0]) << 16 | e[1] << 8 | e[2];
        const int64_t end = int64_t(e[3]) << 16 | e[4] << 8 | e[5];
        require(p.number == n && p.start == start && p.end == end && p.name_length == 0 &&
                p.adpcm_rate == 0);
        if (start <= end)
            require(p.offset == table_offset + start && p.length == end - start + 1);
        const bool reversed = start > end, in_table = start < 8 * entries,
                   past_space = end >= space, past_file = table_offset + end >= rom_size;
        switch (p.fault) {
        case bank_fault_none:
        case bank_fault_overlap:
            require(!reversed && !in_table && !past_space && !past_file);
            break;
        case bank_fault_reversed:
            require(reversed);
            break;
        case bank_fault_in_table:
            require(in_table);
            break;
        case bank_fault_past_space:
            require(past_space);
            break;
        case bank_fault_past_file:
            require(past_file);
            break;
        default:
            abort(); // a list's fault
        }
    }
    require(k == phrases.size());
}

// The names a file system takes for one: alike but for case, with or
// without ".wav" (for names that are usable).
static std::string name_key(const char *name, int64_t n)
{
    std::string key(name, size_t(n));
    if (n > 4) {
        std::string tail = key.substr(size_t(n - 4));
        for (char &c : tail)
            c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        if (tail == ".wav")
            key.resize(size_t(n - 4));
    }
    for (char &c : key)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return key;
}

// Whether the library takes two names for one file.
static bool names_alike(const char *a, int64_t an, const char *b, int64_t bn)
{
    return bank_name_key(a, an) == bank_name_key(b, bn);
}

static void check_list(const char *text, int64_t size, const std::vector<bank_phrase> &phrases)
{
    std::unordered_map<std::string, int> used; // the names of phrases that can be used
    const bank_phrase *last_named = nullptr;
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        require(p.number == int(i) + 1 && p.line >= 1 &&
                (i == 0 || p.line > phrases[i - 1].line));
        require(p.fault != bank_fault_reversed && p.fault != bank_fault_in_table &&
                p.fault != bank_fault_past_space);
        require(p.adpcm_rate >= 0 && p.name_at >= 0 && p.name_length >= 0 &&
                p.name_at + p.name_length <= size);
        if (p.name_length == 0)
            continue;
        const char *name = text + p.name_at;
        // The name is checked once the line's numbers are understood.
        const bool numbers_read = p.fault == bank_fault_none || p.fault == bank_fault_overlap ||
                                  p.fault == bank_fault_past_file ||
                                  p.fault == bank_fault_same_name;
        const bool usable = bank_name_usable(name, p.name_length);
        if (numbers_read)
            require(usable);
        if (p.fault == bank_fault_same_name) {
            const bank_phrase *o = by_number(phrases, p.other);
            require(o->name_length > 0 &&
                    names_alike(name, p.name_length, text + o->name_at, o->name_length));
        }
        if (!usable)
            continue;
        // The key as the library compares names, checked on neighbours.
        const std::string key = name_key(name, p.name_length);
        if (last_named != nullptr)
            require(names_alike(name, p.name_length, text + last_named->name_at,
                                     last_named->name_length) ==
                    (key == name_key(text + last_named->name_at, last_named->name_length)));
        last_named = &p;
        if (p.fault == bank_fault_none)
            require(used.insert({key, p.number}).second);
    }
}

// A wish per phrase from the line's bytes, in turn: the low bit asks for a
// place of its own, the rest a length from 1 to twice the old one (0x80 and
// 0x81: the old one).
static std::vector<phrase_wish> wishes_of(const std::vector<bank_phrase> &phrases,
                                          const std::string &line)
{
    std::vector<phrase_wish> wishes;
    for (size_t i = 0; i < phrases.size(); i++) {
        unsigned b = line.empty() ? 0x80 : static_cast<unsigned char>(line[i % line.size()]);
        int64_t old = std::max<int64_t>(phrases[i].length, 1), v = b >> 1;
        wishes.push_back(phrase_wish{v == 64 ? old : 1 + (2 * old - 1) * v / 127, (b & 1) != 0});
    }
    return wishes;
}

// Which phrases a layout places on their own, and the bytes each takes.
struct expected_layout {
    std::vector<bool> unit, stays;
    std::vector<int64_t> length;
};

static bool good(const bank_phrase &p)
{
    return p.fault == bank_fault_none;
}

static expected_layout expected_of(const std::vector<bank_phrase> &phrases,
                                   const std::vector<phrase_wish> &wishes)
{
    expected_layout e;
    const size_t n = phrases.size();
    e.unit.assign(n, false);
    e.stays.assign(n, false);
    e.length.assign(n, 0);
    for (size_t i = 0; i < n; i++) {
        const bank_phrase &p = phrases[i];
        e.stays[i] = good(p) && !p.alias && p.inside && !wishes[i].own_place &&
                     wishes[i].length <= p.length;
        e.unit[i] = good(p) && !p.alias && !e.stays[i];
        e.length[i] = good(p) && !p.alias ? wishes[i].length : p.length;
    }
    // An outer phrase reaches over what stays inside it.
    for (size_t i = 0; i < n; i++)
        if (e.stays[i]) {
            size_t o = index_of(phrases, by_number(phrases, phrases[i].other));
            e.length[o] = std::max(e.length[o],
                                   phrases[i].offset - phrases[o].offset + wishes[i].length);
        }
    return e;
}

// What both layouts give the phrases that follow others, and the units
// keeping apart; lowest and highest bound where the units lie.
static void check_places(const std::vector<bank_phrase> &phrases, const expected_layout &e,
                         const std::vector<phrase_place> &places, int64_t lowest,
                         int64_t highest)
{
    require(places.size() == phrases.size());
    std::vector<byte_span> units;
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        const phrase_place &at = places[i];
        if (!good(p)) {
            require(at.offset == p.offset && at.length == p.length);
        } else if (e.unit[i]) {
            require(at.length == e.length[i] && at.length >= 1 && at.offset >= lowest &&
                    at.offset + at.length <= highest);
            units.push_back(byte_span{at.offset, at.offset + at.length});
        } else if (e.stays[i]) {
            const size_t o = index_of(phrases, by_number(phrases, p.other));
            require(at.offset == places[o].offset + p.offset - phrases[o].offset &&
                    at.length == e.length[i] &&
                    at.offset + at.length <= places[o].offset + places[o].length);
        }
    }
    for (size_t i = 0; i < phrases.size(); i++)
        if (good(phrases[i]) && phrases[i].alias) {
            const phrase_place &o = places[index_of(phrases, by_number(phrases, phrases[i].other))];
            require(places[i].offset == o.offset && places[i].length == o.length);
        }
    std::sort(units.begin(), units.end(),
              [](const byte_span &a, const byte_span &b) { return a.from < b.from; });
    for (size_t i = 1; i < units.size(); i++)
        require(units[i - 1].to <= units[i].from);
}

// Whether from..to-1 meets a span of the sorted, merged spans.
static bool meets(const std::vector<byte_span> &merged, int64_t from, int64_t to)
{
    if (from >= to)
        return false;
    auto s = std::upper_bound(merged.begin(), merged.end(), from,
                              [](int64_t at, const byte_span &b) { return at < b.to; });
    return s != merged.end() && s->from < to;
}

// Each value's count among n bytes. Without coverage: a comparison traced
// per byte of a ROM of a few hundred KiB would be most of a run's time.
[[clang::no_sanitize("coverage")]] static void count_bytes(const unsigned char *bytes, int64_t n,
                                                           int64_t count[256])
{
    for (int64_t i = 0; i < n; i++)
        count[bytes[i]]++;
}

static void check_layouts(const std::vector<unsigned char> &rom,
                          const std::vector<bank_phrase> &phrases,
                          const std::vector<phrase_wish> &wishes, int64_t from, int64_t to,
                          std::vector<phrase_place> *placed)
{
    const int64_t rom_size = int64_t(rom.size());
    const expected_layout e = expected_of(phrases, wishes);
    std::vector<byte_span> bad;
    for (const bank_phrase &p : phrases) {
        byte_span s = entry_span(p, rom_size);
        require(s.from >= 0 && s.from <= s.to && s.to <= rom_size);
        if (!good(p))
            bad.push_back(s);
    }
    bad = merged_spans(bad);

    placement_failure failure{-1, -1, -1};
    std::vector<phrase_place> places;
    if (place_phrases(phrases, wishes, from, to, {}, &places, &failure)) {
        check_places(phrases, e, places, from, to);
        for (size_t i = 0; i < phrases.size(); i++) {
            const bank_phrase &p = phrases[i];
            if (!e.unit[i])
                continue;
            const phrase_place &at = places[i];
            // Only what must move moves; what moves or grows takes free bytes.
            if (!p.inside && wishes[i].length <= p.length)
                require(at.offset == p.offset);
            if (at.offset != p.offset || p.inside)
                require(!meets(bad, at.offset, at.offset + at.length));
            else
                require(!meets(bad, end_of(p), at.offset + at.length));
        }
        *placed = places;
    } else {
        const bank_phrase *p = by_number(phrases, failure.number);
        require(p != nullptr && e.unit[index_of(phrases, p)] &&
                failure.needed == e.length[index_of(phrases, p)] && failure.largest >= 0 &&
                failure.largest < failure.needed);
    }

    // One after the other, in table order, from the lowest offset on.
    int64_t at = INT64_MAX;
    for (const bank_phrase &p : phrases)
        if (good(p))
            at = std::min(at, p.offset);
    const bool fits = lay_out_phrases(phrases, wishes, to, &places);
    check_places(phrases, e, places, at, INT64_MAX);
    bool any = false;
    for (size_t i = 0; i < phrases.size(); i++)
        if (e.unit[i]) {
            require(places[i].offset == at);
            at += places[i].length;
            any = true;
        }
    require(fits == (!any || at <= to));

    // The bytes of from..to-1 outside every entry, and those no phrase
    // covers, counted span by span.
    if (from > to)
        return;
    std::vector<byte_span> entries, sounds;
    for (const bank_phrase &p : phrases) {
        byte_span s = entry_span(p, to);
        entries.push_back(byte_span{std::max(s.from, from), std::min(s.to, to)});
        if (good(p))
            sounds.push_back(byte_span{std::max(p.offset, from), std::min(end_of(p), to)});
    }
    int64_t count[256] = {0}, uncovered = to - from, b = from;
    for (const byte_span &s : merged_spans(entries)) {
        count_bytes(rom.data() + b, s.from - b, count);
        b = s.to;
    }
    count_bytes(rom.data() + b, to - b, count);
    for (const byte_span &s : merged_spans(sounds))
        uncovered -= s.to - s.from;
    int best = 0xFF;
    for (int v = 0xFE; v >= 0; v--)
        if (count[v] > count[best])
            best = v;
    require(fill_byte(rom.data(), phrases, from, to) == best);
    require(uncovered_bytes(phrases, from, to) == uncovered);
    size_t sound_count = 0;
    for (const bank_phrase &p : phrases)
        sound_count += good(p) && !p.alias;
    std::vector<const bank_phrase *> sounds_found = sound_phrases(phrases);
    require(sounds_found.size() == sound_count);
    for (const bank_phrase *p : sounds_found)
        require(good(*p) && !p->alias);
}

static bool same_manifest(const manifest &a, const manifest &b)
{
    if (a.regions != b.regions || a.resized_regions != b.resized_regions ||
        a.table_offset != b.table_offset || a.order != b.order || a.hash != b.hash ||
        a.resized != b.resized || a.peaks != b.peaks || a.rows.size() != b.rows.size() ||
        layout_name(a.layout) != layout_name(b.layout))
        return false;
    for (size_t i = 0; i < a.rows.size(); i++) {
        const manifest_row &r = a.rows[i], &s = b.rows[i];
        if (r.number != s.number || r.bank != s.bank || r.offset != s.offset || r.length != s.length ||
            r.rate != s.rate || r.wav_rate != s.wav_rate || r.multiplier != s.multiplier ||
            r.file != s.file || r.hash != s.hash || r.peak != s.peak ||
            r.resized_offset != s.resized_offset ||
            r.resized_length != s.resized_length)
            return false;
    }
    return true;
}

// An accepted manifest: its rows in order, its files plain names, and its
// own text read back the same.
static void check_accepted(const manifest &m)
{
    for (size_t i = 0; i < m.rows.size(); i++) {
        const manifest_row &r = m.rows[i];
        require(i == 0 || std::make_pair(r.bank, r.number) >
                              std::make_pair(m.rows[i - 1].bank, m.rows[i - 1].number));
        require(bank_name_usable(r.file.data(), int64_t(r.file.size())));
        require(row_of(m, r.bank, r.number) == &r);
    }
    const std::string text = manifest_text(m);
    manifest again;
    std::string why;
    require(parse_manifest(text.data(), int64_t(text.size()), manifest_name, &again, &why));
    require(same_manifest(m, again));
}

static void check_manifest_text(const std::string &text)
{
    // The text in a block of its own: a read past it is a finding.
    std::vector<char> bytes(text.begin(), text.end());
    const std::string path = "sounds/bank.tsv";
    manifest m;
    std::string why;
    if (parse_manifest(bytes.data(), int64_t(bytes.size()), path, &m, &why)) {
        check_accepted(m);
        return;
    }
    // The reason quotes at most about 60 bytes of the line, each escaped
    // in at most 4 characters.
    require(!why.empty() && why.size() <= path.size() + 400);
    for (char c : why)
        require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

// The manifest an extraction of these phrases writes, and after a resize.
static void check_written_manifest(const loaded_bank &bank, const bank_options &o,
                                   unsigned choice, const std::vector<phrase_place> &placed)
{
    manifest m;
    if (o.regions != nullptr)
        m.regions = o.regions;
    m.table_offset = o.table_offset;
    m.layout = o.layout;
    m.order = o.order;
    m.hash = choice & 0x20 ? hash_fnv1a_v1 : hash_xxh64;
    m.resized = (choice & 0x40) != 0 && !placed.empty();
    if (m.resized && o.regions != nullptr)
        m.resized_regions = "list-resized.txt";
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        if (p.fault != bank_fault_none || p.alias)
            continue;
        manifest_row r;
        r.number = p.number;
        r.bank = p.bank;
        r.offset = p.offset;
        r.length = p.length;
        r.rate = adpcm_rate_of(o, p);
        r.wav_rate = o.wav_rate > 0 ? o.wav_rate : r.rate;
        r.multiplier = "1.500000";
        r.file = wav_name_of(bank, p);
        r.hash = uint64_t(p.offset) * 0x9E3779B97F4A7C15u ^ uint64_t(p.length);
        r.peak = static_cast<int>(p.length % 2049);
        r.resized_offset = m.resized ? placed[i].offset : p.offset;
        r.resized_length = m.resized ? placed[i].length : p.length;
        m.rows.push_back(r);
    }
    check_accepted(m);
}

// The hints read the same bytes: every offset the scan offers holds a
// table that looks like one; the rival and nibble readings stay inside.
static void check_hints(const loaded_bank &bank, int64_t offset, nibble_order order)
{
    const int64_t size = int64_t(bank.rom.size());
    for (const table_judgement &j : scan_tables(bank.rom.data(), size, 4)) {
        std::vector<bank_phrase> found;
        require(read_phrase_table(bank.rom.data(), size, j.offset, &found));
        require(!table_implausible(judge_table(found, j.offset)));
    }
    table_judgement rival;
    if (better_table_near(bank.rom.data(), size, judge_table(bank.phrases, offset), &rival))
        require(rival.offset != offset && !table_implausible(rival));
    other_order_cleaner(bank.rom.data(), bank.phrases, order);
}

// A layout's phrases: a phrase is its bank and number; each lies where its
// view and the board's formula put it, the formula's way back reaching the
// same byte; one per distinct bytes, the others aliases of an earlier one;
// overlap and nesting within a bank.
static void check_layout_phrases(const rom_layout &layout, int64_t base, int64_t rom_size,
                                 const std::vector<bank_view> &views,
                                 const std::vector<bank_phrase> &phrases)
{
    std::map<std::pair<int, int>, size_t> index;
    std::set<std::pair<int64_t, int64_t>> sounds;
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        require(index.insert({{p.bank, p.number}, i}).second);
        const bank_view *v = view_of(views, p);
        require(v != nullptr && p.number >= v->first && p.number < v->end);
        const bool own = p.start >= v->own_from && p.start < v->own_to;
        const int64_t at = view_offset(*v, p.start);
        switch (p.fault) {
        case bank_fault_none:
        case bank_fault_overlap: {
            require(own && p.start - v->own_from >= v->table_size && p.length >= 1 &&
                    p.offset >= 0 && end_of(p) <= rom_size);
            require(at == p.offset && view_offset(*v, p.end) == end_of(p) - 1);
            require(layout_offset(layout, base, p.bank, p.start) == p.offset);
            const int64_t back = layout_address(layout, base, p.bank, p.offset);
            require(back >= 0 && layout_offset(layout, base, p.bank, back) == p.offset);
            break;
        }
        case bank_fault_other_bank:
            require(v->others_depend && !own && p.offset == 0 && p.length == 0);
            break;
        case bank_fault_crosses:
            require(own && (at < 0 || view_offset(*v, p.end) != at + p.length - 1));
            break;
        case bank_fault_reversed:
        case bank_fault_in_table:
        case bank_fault_past_space:
        case bank_fault_past_file:
            break;
        default:
            abort(); // a list's fault
        }
        if (p.fault != bank_fault_none)
            require(!p.alias && !p.inside);
        else if (!p.alias)
            require(sounds.insert({p.offset, p.length}).second);
    }
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        if (!p.alias && !p.inside && p.fault != bank_fault_overlap)
            continue;
        auto found = index.find({p.other_bank, p.other});
        require(found != index.end());
        const bank_phrase &o = phrases[found->second];
        if (p.alias)
            require(found->second < i && good(o) && !o.alias && same_bytes(o, p));
        else if (p.inside)
            require(o.bank == p.bank && good(o) && o.offset <= p.offset &&
                    end_of(p) <= end_of(o) && !same_bytes(o, p));
        else
            require(o.bank == p.bank && o.fault == bank_fault_overlap &&
                    std::max(o.offset, p.offset) < std::min(end_of(o), end_of(p)));
    }
}

// The layout named on the wishes' line, on a ROM of at most rom_size bytes;
// false when it names none.
static bool check_layout(const std::string &name, int64_t base, int64_t rom_size,
                         const std::string &file, unsigned choice, const bank_options &options)
{
    rom_layout layout;
    if (!parse_layout(name.c_str(), &layout))
        return false;
    rom_layout again;
    require(parse_layout(layout_name(layout).c_str(), &again) &&
            layout_name(again) == layout_name(layout));
    if (layout.kind == SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE ||
        layout.kind == SNDTOOLS_LAYOUT_WINDOW_LINEAR)
        rom_size = std::min(rom_size, std::max<int64_t>(base, 0) + layout.fixed +
                                          most_windows * layout.window);
    loaded_bank bank;
    bank.rom = rom_of(file, rom_size, (choice >> 2) & 3);
    const bool read = read_layout(bank.rom.data(), rom_size, layout, base, &bank.views,
                                  &bank.phrases);
    require(read == !bank.views.empty() && (read || bank.phrases.empty()));
    if (!read)
        return true;
    check_layout_phrases(layout, base, rom_size, bank.views, bank.phrases);
    // The plain table and the TT5665's, entry by entry as they are read.
    if (layout.kind == SNDTOOLS_LAYOUT_MSM6295) {
        check_phrases(bank.phrases, rom_size, true, base);
        check_table(bank.rom, base, bank.phrases);
    } else if (layout.kind == SNDTOOLS_LAYOUT_TT5665) {
        check_table(bank.rom, base, bank.phrases, 512, int64_t(1) << 24);
    }
    bank_options o = options;
    o.table_offset = static_cast<int>(base);
    o.layout = layout;
    check_written_manifest(bank, o, choice, {});
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The choice: bits 0-1 the reader (0 the table, 1 a list, 2 a
    // manifest, 3 a layout's tables), 2-3 the bytes past the input's, 4 a
    // table offset below 0, 5 and 6 the hash and the resized columns of the
    // manifest written, 7 the nibble order. The lines: the table offset, the
    // ROM's size, the wishes (for a layout, its name).
    run_input in = split_input(data, size, 3);
    const unsigned reader = in.choice & 3;
    if (reader == 2) {
        check_manifest_text(in.file);
        return 0;
    }
    const bool table = reader != 1;
    bank_options o;
    o.order = in.choice & 0x80 ? low_nibble_first : high_nibble_first;
    int64_t offset = line_number(in.lines[0], 0);
    if (in.choice & 0x10)
        offset = -1 - offset;
    if (reader == 3 && check_layout(in.lines[2], offset,
                                    std::min(line_number(in.lines[1], int64_t(in.file.size())),
                                             largest_layout_rom),
                                    in.file, in.choice, o))
        return 0;
    const int64_t rom_size = std::min(line_number(in.lines[1], int64_t(in.file.size())),
                                      table ? largest_table_rom : largest_list_rom);
    loaded_bank bank;
    bank.rom = rom_of(in.file, rom_size, (in.choice >> 2) & 3);
    if (table) {
        const bool read = read_phrase_table(bank.rom.data(), rom_size, offset, &bank.phrases);
        require(read == (offset >= 0 && offset + bank_table_size <= rom_size));
        if (!read) {
            require(bank.phrases.empty());
            return 0;
        }
        o.table_offset = static_cast<int>(offset);
        check_phrases(bank.phrases, rom_size, table, offset);
        check_table(bank.rom, offset, bank.phrases);
        check_hints(bank, offset, o.order);
    } else {
        o.regions = "list.txt";
        bank.regions_text.assign(in.file.begin(), in.file.end());
        parse_regions(bank.regions_text.data(), int64_t(bank.regions_text.size()), rom_size,
                      &bank.phrases);
        check_phrases(bank.phrases, rom_size, table, 0);
        check_list(bank.regions_text.data(), int64_t(bank.regions_text.size()), bank.phrases);
    }
    std::vector<phrase_place> placed;
    check_layouts(bank.rom, bank.phrases, wishes_of(bank.phrases, in.lines[2]), space_from(o),
                  space_to(o, bank), &placed);
    check_written_manifest(bank, o, in.choice, placed);
    return 0;
}
