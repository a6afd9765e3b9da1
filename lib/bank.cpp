#include "bank.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include "layouts.h"
#include "numbers.h"

namespace sndtools {

static bank_phrase phrase_at(int number, int64_t offset, int64_t length)
{
    bank_phrase p{};
    p.number = number;
    p.offset = offset;
    p.length = length;
    p.start = offset;
    p.end = offset + length - 1;
    p.bank = p.other_bank = -1;
    return p;
}

static int64_t start_of(const bank_phrase *p)
{
    return p->offset;
}

static int64_t end_of(const bank_phrase *p)
{
    return p->offset + p->length;
}

// One sweep of two: the phrases in the order given, taken in groups of one
// group_key; each looks among those of the groups before it for one whose
// key lies past its start and before its end, and takes it as its partner.
static void find_crossings(const std::vector<bank_phrase *> &order,
                           int64_t (*group_key)(const bank_phrase *),
                           int64_t (*key)(const bank_phrase *),
                           std::map<const bank_phrase *, int> *partner)
{
    std::multimap<int64_t, const bank_phrase *> seen;
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        for (; j < order.size() && group_key(order[j]) == group_key(order[i]); j++) {
            auto q = seen.upper_bound(order[j]->offset);
            if (q != seen.end() && q->first < end_of(order[j]))
                partner->insert({order[j], q->second->number});
        }
        for (; i < j; i++)
            seen.insert({key(order[i]), order[i]});
    }
}

// Where two phrases' bytes meet, one lies inside the other or they are
// faults: a phrase is one when another starts before it and ends inside it,
// or starts inside it and ends after it (each found with a sweep over the
// others' ends or starts, so that no list is too long to check). Exactly
// alike phrases count as one: each later one an alias of the first.
void mark_shared_bytes(bank_phrase *first, bank_phrase *last)
{
    std::vector<bank_phrase *> order;
    for (bank_phrase *p = first; p != last; p++)
        if (p->fault == bank_fault_none)
            order.push_back(p);
    std::sort(order.begin(), order.end(), [](const bank_phrase *a, const bank_phrase *b) {
        if (a->offset != b->offset)
            return a->offset < b->offset;
        return a->length != b->length ? a->length > b->length : a->number < b->number;
    });
    std::map<const bank_phrase *, int> partner;
    find_crossings(order, start_of, end_of, &partner); // those that end inside it
    std::vector<bank_phrase *> by_end = order;
    std::stable_sort(by_end.begin(), by_end.end(), [](const bank_phrase *a, const bank_phrase *b) {
        return end_of(a) > end_of(b);
    });
    find_crossings(by_end, end_of, start_of, &partner); // those that start inside it
    // The rest nest: each inside the outermost phrase that holds it.
    const bank_phrase *first_alike = nullptr, *outer = nullptr;
    for (bank_phrase *p : order) {
        bool alike = first_alike != nullptr && first_alike->offset == p->offset &&
                     first_alike->length == p->length;
        if (!alike)
            first_alike = p;
        if (partner.count(p) != 0) {
            p->fault = bank_fault_overlap;
            p->other = partner[p];
            p->other_bank = p->bank;
        } else if (alike) {
            p->alias = true;
            p->other = first_alike->number;
            p->other_bank = p->bank;
        } else if (outer != nullptr && end_of(p) <= end_of(outer)) {
            p->inside = true;
            p->other = outer->number;
            p->other_bank = p->bank;
        } else {
            outer = p;
        }
    }
}

bool read_phrase_table(const unsigned char *rom, int64_t rom_size, int64_t table_offset,
                       std::vector<bank_phrase> *phrases)
{
    std::vector<bank_view> views;
    return read_layout(rom, rom_size, rom_layout{}, table_offset, &views, phrases);
}

// Windows opens these as devices, whatever follows a dot.
static bool device_name(const char *name, int64_t n)
{
    std::string stem = bank_name_key(name, n);
    stem = stem.substr(0, stem.find('.'));
    for (const char *device : {"con", "prn", "aux", "nul"})
        if (stem == device)
            return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool bank_name_usable(const char *name, int64_t n)
{
    // (A name that ends in a dot covers "." and "..".)
    if (n < 1 || n > 255 || name[n - 1] == '.' || name[n - 1] == ' ' || device_name(name, n))
        return false;
    return std::none_of(name, name + n, [](char ch) {
        unsigned char c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F || strchr("/\\:*?\"<>|", c) != nullptr;
    });
}

std::string bank_name_key(const char *name, int64_t n)
{
    std::string key(name, size_t(n));
    for (char &c : key)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    if (key.size() > 4 && key.compare(key.size() - 4, 4, ".wav") == 0)
        key.resize(key.size() - 4);
    return key;
}

struct token {
    int64_t at, n;
};

static bool made_of_digits(const char *text, int64_t n)
{
    int64_t at = n > 2 && text[0] == '0' && text[1] == 'x' ? 2 : 0;
    return n > at && std::all_of(text + at, text + n, [at](char ch) {
        unsigned char c = static_cast<unsigned char>(ch);
        return at == 2 ? isxdigit(c) != 0 : isdigit(c) != 0;
    });
}

// A number of the list: below 2^31, hexadecimal after "0x" too.
static bool list_number(const char *text, const token &field, int64_t *value)
{
    return read_number(text + field.at, field.n, true, INT32_MAX, value);
}

// One phrase line's fields (count of them, at most 5 kept), checked.
static bank_phrase read_region_line(const char *text, const token *fields, int count,
                                    int number, int line, int64_t rom_size)
{
    int64_t offset = 0, length = 0, rate = 0;
    bool numbers = count >= 2 && list_number(text, fields[0], &offset) &&
                   list_number(text, fields[1], &length);
    // A third field made of digits is the rate (one past its range is a
    // fault, not a name); any other is the name.
    bool has_rate = count >= 3 && made_of_digits(text + fields[2].at, fields[2].n);
    bool rate_read = has_rate && list_number(text, fields[2], &rate);
    const token *name = count == 4 || (count == 3 && !has_rate) ? &fields[count - 1] : nullptr;
    bank_phrase p = phrase_at(number, offset, length);
    p.line = line;
    p.adpcm_rate = static_cast<int>(rate);
    if (name != nullptr) {
        p.name_at = name->at;
        p.name_length = name->n;
    }
    if (count < 2 || count > 4)
        p.fault = bank_fault_syntax;
    else if (!numbers || (has_rate && !rate_read) || (count == 4 && !has_rate))
        p.fault = bank_fault_number;
    else if (length == 0)
        p.fault = bank_fault_no_bytes;
    else if (has_rate && rate == 0)
        p.fault = bank_fault_rate;
    else if (name != nullptr && (name->n > 251 || !bank_name_usable(text + name->at, name->n)))
        p.fault = bank_fault_name;
    else if (offset + length > rom_size)
        p.fault = bank_fault_past_file;
    return p;
}

void parse_regions(const char *text, int64_t size, int64_t rom_size,
                   std::vector<bank_phrase> *phrases)
{
    phrases->clear();
    int line = 0, number = 0;
    for (int64_t at = 0; at < size;) {
        int64_t end = at;
        while (end < size && text[end] != '\n')
            end++;
        line++;
        token fields[5];
        int count = 0;
        for (int64_t i = at; i < end && text[i] != '#';) {
            if (text[i] == ' ' || text[i] == '\t' || text[i] == '\r') {
                i++;
                continue;
            }
            int64_t from = i;
            while (i < end && text[i] != '#' && text[i] != ' ' && text[i] != '\t' &&
                   text[i] != '\r')
                i++;
            if (count < 5)
                fields[count] = token{from, i - from};
            count++;
        }
        if (count > 0)
            phrases->push_back(read_region_line(text, fields, count > 5 ? 5 : count, ++number,
                                                line, rom_size));
        at = end + 1;
    }
    // Each name's first phrase, by the name as the file systems compare it.
    std::map<std::string, int> first_named;
    for (bank_phrase &p : *phrases) {
        if (p.name_length == 0)
            continue;
        auto [first, added] =
            first_named.insert({bank_name_key(text + p.name_at, p.name_length), p.number});
        if (!added && p.fault == bank_fault_none) {
            p.fault = bank_fault_same_name;
            p.other = first->second;
        }
    }
    mark_shared_bytes(phrases->data(), phrases->data() + phrases->size());
}

std::vector<const bank_phrase *> sound_phrases(const std::vector<bank_phrase> &phrases)
{
    std::vector<const bank_phrase *> sounds;
    for (const bank_phrase &p : phrases)
        if (bank_sound(p))
            sounds.push_back(&p);
    return sounds;
}

int64_t uncovered_bytes(const std::vector<bank_phrase> &phrases, int64_t from, int64_t to)
{
    std::vector<byte_span> sounds;
    for (const bank_phrase *p : sound_phrases(phrases))
        sounds.push_back(byte_span{p->offset, p->offset + p->length});
    int64_t free_bytes = 0;
    for (const byte_span &gap : free_spans(sounds, from, to))
        free_bytes += gap.to - gap.from;
    return free_bytes;
}

int64_t region_bytes_for(int64_t frames, int wav_rate, int adpcm_rate)
{
    if (wav_rate < 1 || adpcm_rate < 1 || frames < 0 || frames > (int64_t(1) << 31))
        return -1;
    int64_t samples = (frames * adpcm_rate + wav_rate - 1) / wav_rate;
    return (samples + 1) / 2;
}

byte_span entry_span(const bank_phrase &p, int64_t rom_size)
{
    bool placed = p.fault != bank_fault_reversed && p.fault != bank_fault_syntax &&
                  p.fault != bank_fault_number && p.length > 0;
    if (!placed || p.offset >= rom_size)
        return byte_span{0, 0};
    return byte_span{p.offset, std::min(p.offset + p.length, rom_size)};
}

static bool starts_before(const byte_span &a, const byte_span &b)
{
    return a.from < b.from;
}

std::vector<byte_span> merged_spans(std::vector<byte_span> spans)
{
    std::sort(spans.begin(), spans.end(), starts_before);
    std::vector<byte_span> merged;
    for (const byte_span &s : spans) {
        if (s.to <= s.from)
            continue;
        if (!merged.empty() && s.from <= merged.back().to)
            merged.back().to = std::max(merged.back().to, s.to);
        else
            merged.push_back(s);
    }
    return merged;
}

std::vector<byte_span> free_spans(const std::vector<byte_span> &taken, int64_t from, int64_t to)
{
    std::vector<byte_span> gaps;
    int64_t at = from;
    for (const byte_span &s : merged_spans(taken)) {
        if (std::min(s.from, to) > at)
            gaps.push_back(byte_span{at, std::min(s.from, to)});
        at = std::max(at, s.to);
    }
    if (at < to)
        gaps.push_back(byte_span{at, to});
    return gaps;
}

namespace {

// What both layouts share: which phrases are placed on their own (in table
// order), the length each takes, and the rest placed after them.
struct layout_plan {
    std::vector<size_t> units;   // phrases placed on their own, in table order
    std::vector<bool> stays;     // a phrase inside another that stays there
    std::vector<int64_t> length; // the bytes each takes
    std::vector<size_t> follows; // the phrase it moves with (itself: none)
};

layout_plan plan_of(const std::vector<bank_phrase> &phrases,
                    const std::vector<phrase_wish> &wishes)
{
    layout_plan plan;
    std::map<int, size_t> index_of; // by number (the first, should two share one)
    for (size_t i = 0; i < phrases.size(); i++)
        index_of.insert({phrases[i].number, i});
    plan.stays.assign(phrases.size(), false);
    plan.length.assign(phrases.size(), 0);
    plan.follows.resize(phrases.size());
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        plan.follows[i] = i;
        plan.length[i] = bank_sound(p) ? wishes[i].length : p.length;
        auto other = index_of.find(p.other);
        if (p.fault != bank_fault_none || (!p.alias && !p.inside) || other == index_of.end())
            continue;
        const bank_phrase &q = phrases[other->second];
        if (bank_sound(q) && (p.alias || !q.inside))
            plan.follows[i] = other->second;
        plan.stays[i] = p.inside && plan.follows[i] != i && !wishes[i].own_place &&
                        wishes[i].length <= p.length;
    }
    // An outer phrase reaches to the end of every phrase that stays inside it.
    for (size_t i = 0; i < phrases.size(); i++)
        if (plan.stays[i]) {
            size_t outer = plan.follows[i];
            plan.length[outer] = std::max(plan.length[outer], phrases[i].offset +
                                          plan.length[i] - phrases[outer].offset);
        }
    for (size_t i = 0; i < phrases.size(); i++)
        if (bank_sound(phrases[i]) && !plan.stays[i])
            plan.units.push_back(i);
    return plan;
}

// The places of the phrases that follow others: those inside an outer
// phrase, the aliases; and those with a fault, which keep theirs.
void place_followers(const std::vector<bank_phrase> &phrases, const layout_plan &plan,
                     std::vector<phrase_place> *places)
{
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        if (p.fault != bank_fault_none || (p.alias && plan.follows[i] == i))
            (*places)[i] = phrase_place{p.offset, p.length};
        else if (plan.stays[i]) {
            const phrase_place &outer = (*places)[plan.follows[i]];
            (*places)[i] = phrase_place{outer.offset + p.offset - phrases[plan.follows[i]].offset,
                                        plan.length[i]};
        }
    }
    for (size_t i = 0; i < phrases.size(); i++)
        if (phrases[i].fault == bank_fault_none && phrases[i].alias && plan.follows[i] != i)
            (*places)[i] = (*places)[plan.follows[i]];
}

// The spans taken, kept sorted; the first gap of from..to-1 that holds
// length bytes, and the largest gap.
struct taken_spans {
    std::vector<byte_span> spans;

    bool free(int64_t from, int64_t to) const
    {
        auto after = std::lower_bound(spans.begin(), spans.end(), byte_span{to, to}, starts_before);
        return std::none_of(spans.begin(), after, [&](const byte_span &s) { return s.to > from; });
    }
    void add(byte_span s)
    {
        if (s.to > s.from)
            spans.insert(std::upper_bound(spans.begin(), spans.end(), s, starts_before), s);
    }
    void remove(byte_span s)
    {
        auto at = std::find_if(spans.begin(), spans.end(), [&](const byte_span &t) {
            return t.from == s.from && t.to == s.to;
        });
        if (at != spans.end())
            spans.erase(at);
    }
    int64_t first_fit(int64_t from, int64_t to, int64_t length, int64_t *largest) const
    {
        int64_t found = -1;
        *largest = 0;
        for (const byte_span &gap : free_spans(spans, from, to)) {
            *largest = std::max(*largest, gap.to - gap.from);
            if (found < 0 && gap.to - gap.from >= length)
                found = gap.from;
        }
        return found;
    }
};

} // namespace

bool bank_sound(const bank_phrase &p)
{
    return p.fault == bank_fault_none && !p.alias;
}

bool lay_out_phrases(const std::vector<bank_phrase> &phrases,
                     const std::vector<phrase_wish> &wishes, int64_t limit,
                     std::vector<phrase_place> *places)
{
    layout_plan plan = plan_of(phrases, wishes);
    places->assign(phrases.size(), phrase_place{0, 0});
    int64_t at = INT64_MAX;
    for (const bank_phrase &p : phrases)
        if (p.fault == bank_fault_none)
            at = std::min(at, p.offset);
    for (size_t i : plan.units) {
        (*places)[i] = phrase_place{at, plan.length[i]};
        at += plan.length[i];
    }
    place_followers(phrases, plan, places);
    return plan.units.empty() || at <= limit;
}

bool place_phrases(const std::vector<bank_phrase> &phrases,
                   const std::vector<phrase_wish> &wishes, int64_t from, int64_t to,
                   const std::vector<byte_span> &also_taken, std::vector<phrase_place> *places,
                   placement_failure *failure)
{
    layout_plan plan = plan_of(phrases, wishes);
    places->assign(phrases.size(), phrase_place{0, 0});
    taken_spans taken;
    for (const byte_span &s : also_taken)
        taken.add(s);
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        bool top = bank_sound(p) && plan.follows[i] == i;
        taken.add(top ? byte_span{p.offset, p.offset + p.length}
                      : p.fault != bank_fault_none ? entry_span(p, to) : byte_span{0, 0});
    }
    std::vector<size_t> grown, own;
    for (size_t i : plan.units) { // shorter ones first: the bytes they leave are free
        const bank_phrase &p = phrases[i];
        if (plan.follows[i] != i)
            own.push_back(i);
        else if (plan.length[i] > p.length)
            grown.push_back(i);
        else {
            taken.remove(byte_span{p.offset, p.offset + p.length});
            taken.add(byte_span{p.offset, p.offset + plan.length[i]});
            (*places)[i] = phrase_place{p.offset, plan.length[i]};
        }
    }
    for (size_t i : grown)
        taken.remove(byte_span{phrases[i].offset, phrases[i].offset + phrases[i].length});
    grown.insert(grown.end(), own.begin(), own.end());
    for (size_t i : grown) {
        const bank_phrase &p = phrases[i];
        int64_t length = plan.length[i], largest = 0, at = p.offset;
        if (plan.follows[i] != i || at < from || at + length > to || !taken.free(at, at + length))
            at = taken.first_fit(from, to, length, &largest);
        if (at < 0) {
            *failure = placement_failure{p.number, length, largest};
            return false;
        }
        taken.add(byte_span{at, at + length});
        (*places)[i] = phrase_place{at, length};
    }
    place_followers(phrases, plan, places);
    return true;
}

unsigned char fill_byte(const unsigned char *rom, const std::vector<bank_phrase> &phrases,
                        int64_t from, int64_t to)
{
    std::vector<byte_span> spans;
    for (const bank_phrase &p : phrases)
        spans.push_back(entry_span(p, to));
    int64_t count[256] = {0};
    for (const byte_span &gap : free_spans(spans, from, to))
        for (int64_t at = gap.from; at < gap.to; at++)
            count[rom[at]]++;
    int best = 0xFF;
    for (int b = 0xFE; b >= 0; b--)
        if (count[b] > count[best])
            best = b;
    return static_cast<unsigned char>(best);
}

void write_table_entry(unsigned char *rom, int64_t table_offset, int number, int64_t start,
                       int64_t end)
{
    unsigned char *entry = rom + table_offset + 8 * number;
    const int64_t fields[2] = {start, end};
    for (int f = 0; f < 2; f++)
        for (int b = 0; b < 3; b++)
            entry[3 * f + b] = static_cast<unsigned char>(fields[f] >> (16 - 8 * b));
}

} // namespace sndtools
