#include "bank.h"

#include <algorithm>
#include <cstring>

namespace sndtools {

static int64_t big_endian_24(const unsigned char *b)
{
    return int64_t(b[0]) << 16 | int64_t(b[1]) << 8 | b[2];
}

static bool all_bytes(const unsigned char *b, unsigned char value)
{
    for (int i = 0; i < 8; i++)
        if (b[i] != value)
            return false;
    return true;
}

static bank_phrase phrase_at(int number, int64_t offset, int64_t length)
{
    bank_phrase p{};
    p.number = number;
    p.offset = offset;
    p.length = length;
    p.start = offset;
    p.end = offset + length - 1;
    return p;
}

// Phrases exactly alike count as one: each later one is an alias of the
// first. Of the rest, two that share a byte both overlap, each naming the
// other (the one reaching furthest before it).
static void mark_overlaps(std::vector<bank_phrase> *phrases)
{
    std::vector<bank_phrase *> order;
    for (bank_phrase &p : *phrases)
        if (p.fault == bank_fault_none)
            order.push_back(&p);
    std::sort(order.begin(), order.end(), [](const bank_phrase *a, const bank_phrase *b) {
        if (a->offset != b->offset)
            return a->offset < b->offset;
        return a->length != b->length ? a->length < b->length : a->number < b->number;
    });
    bank_phrase *reach = nullptr, *previous = nullptr;
    for (bank_phrase *p : order) {
        if (previous != nullptr && p->offset == previous->offset && p->length == previous->length) {
            p->alias = true;
            p->other = previous->alias ? previous->other : previous->number;
            continue;
        }
        previous = p;
        if (reach != nullptr && p->offset < reach->offset + reach->length) {
            p->fault = bank_fault_overlap;
            p->other = reach->number;
            if (reach->fault == bank_fault_none) {
                reach->fault = bank_fault_overlap;
                reach->other = p->number;
            }
        }
        if (reach == nullptr || p->offset + p->length > reach->offset + reach->length)
            reach = p;
    }
}

bool read_phrase_table(const unsigned char *rom, int64_t rom_size, int64_t table_offset,
                       std::vector<bank_phrase> *phrases)
{
    phrases->clear();
    if (table_offset < 0 || table_offset > rom_size - bank_table_size)
        return false;
    for (int n = 1; n < bank_table_entries; n++) {
        const unsigned char *entry = rom + table_offset + 8 * n;
        if (all_bytes(entry, 0x00) || all_bytes(entry, 0xFF))
            continue;
        int64_t start = big_endian_24(entry), end = big_endian_24(entry + 3);
        bank_phrase p = phrase_at(n, table_offset + start, start <= end ? end - start + 1 : 0);
        p.start = start;
        p.end = end;
        if (start > end)
            p.fault = bank_fault_reversed;
        else if (end >= bank_chip_space)
            p.fault = bank_fault_past_space;
        else if (table_offset + end >= rom_size)
            p.fault = bank_fault_past_file;
        else if (start < bank_table_size)
            p.fault = bank_fault_in_table;
        phrases->push_back(p);
    }
    mark_overlaps(phrases);
    return true;
}

// A whole number below 2^31, decimal or after a lower-case "0x"
// hexadecimal, as the programs read their arguments.
static bool read_number(const char *text, int64_t n, int64_t *value)
{
    int base = n > 2 && text[0] == '0' && text[1] == 'x' ? 16 : 10;
    int64_t at = base == 16 ? 2 : 0, v = 0;
    if (at == n)
        return false;
    for (; at < n; at++) {
        char c = text[at];
        int digit = c >= '0' && c <= '9'                 ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
        if (digit < 0)
            return false;
        v = v * base + digit;
        if (v > INT32_MAX)
            return false;
    }
    *value = v;
    return true;
}

// A name that can be a file's on every system: no separators, no
// characters Windows refuses, not "." or "..".
static bool name_usable(const char *name, int64_t n)
{
    if ((n == 1 && name[0] == '.') || (n == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    for (int64_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || strchr("/\\:*?\"<>|", c) != nullptr)
            return false;
    }
    return true;
}

// Names that give one file: alike but for case, with or without ".wav".
static int64_t stem_length(const char *name, int64_t n)
{
    const char *wav = ".wav";
    if (n <= 4)
        return n;
    for (int i = 0; i < 4; i++)
        if ((name[n - 4 + i] | 0x20) != wav[i])
            return n;
    return n - 4;
}

bool bank_names_alike(const char *a, int64_t an, const char *b, int64_t bn)
{
    an = stem_length(a, an);
    bn = stem_length(b, bn);
    if (an != bn)
        return false;
    for (int64_t i = 0; i < an; i++) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

struct token {
    int64_t at, n;
};

// One phrase line's fields (count of them, at most 5 kept), checked.
static bank_phrase read_region_line(const char *text, const token *fields, int count,
                                    int number, int line, int64_t rom_size)
{
    int64_t offset = 0, length = 0, rate = 0;
    bool numbers = count >= 2 && read_number(text + fields[0].at, fields[0].n, &offset) &&
                   read_number(text + fields[1].at, fields[1].n, &length);
    // A third field is the rate when it is a number, the name otherwise.
    bool has_rate = count >= 3 && read_number(text + fields[2].at, fields[2].n, &rate);
    const token *name = count == 4 || (count == 3 && !has_rate) ? &fields[count - 1] : nullptr;
    bank_phrase p = phrase_at(number, offset, length);
    p.line = line;
    p.rate = static_cast<int>(rate);
    if (name != nullptr) {
        p.name_at = name->at;
        p.name_length = name->n;
    }
    if (count < 2 || count > 4)
        p.fault = bank_fault_syntax;
    else if (!numbers || (count == 4 && !has_rate))
        p.fault = bank_fault_number;
    else if (length == 0)
        p.fault = bank_fault_no_bytes;
    else if (has_rate && rate == 0)
        p.fault = bank_fault_rate;
    else if (name != nullptr && !name_usable(text + name->at, name->n))
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
    for (size_t i = 0; i < phrases->size(); i++) {
        bank_phrase &p = (*phrases)[i];
        for (size_t j = 0; j < i && p.fault == bank_fault_none && p.name_length > 0; j++) {
            const bank_phrase &q = (*phrases)[j];
            if (q.name_length > 0 && bank_names_alike(text + p.name_at, p.name_length,
                                                      text + q.name_at, q.name_length)) {
                p.fault = bank_fault_same_name;
                p.other = q.number;
            }
        }
    }
    mark_overlaps(phrases);
}

std::vector<const bank_phrase *> sound_phrases(const std::vector<bank_phrase> &phrases)
{
    std::vector<const bank_phrase *> sounds;
    for (const bank_phrase &p : phrases)
        if (p.fault == bank_fault_none && !p.alias)
            sounds.push_back(&p);
    return sounds;
}

int64_t uncovered_bytes(const std::vector<bank_phrase> &phrases, int64_t from, int64_t to)
{
    std::vector<const bank_phrase *> sounds = sound_phrases(phrases);
    std::sort(sounds.begin(), sounds.end(),
              [](const bank_phrase *a, const bank_phrase *b) { return a->offset < b->offset; });
    int64_t free_bytes = 0, at = from;
    for (const bank_phrase *p : sounds) {
        int64_t start = std::max(p->offset, at), end = std::min(p->offset + p->length, to);
        if (start > at && at < to)
            free_bytes += std::min(start, to) - at;
        at = std::max(at, end);
    }
    return free_bytes + (at < to ? to - at : 0);
}

int64_t region_bytes_for(int64_t frames, int wav_rate, int adpcm_rate)
{
    if (wav_rate < 1 || adpcm_rate < 1 || frames < 0 || frames > (int64_t(1) << 31))
        return -1;
    int64_t samples = (frames * adpcm_rate + wav_rate - 1) / wav_rate;
    return (samples + 1) / 2;
}

bool lay_out_phrases(const std::vector<bank_phrase> &phrases,
                     const std::vector<int64_t> &new_length, int64_t limit,
                     std::vector<int64_t> *new_offset)
{
    new_offset->assign(phrases.size(), 0);
    int64_t at = INT64_MAX;
    for (const bank_phrase &p : phrases)
        if (p.fault == bank_fault_none)
            at = std::min(at, p.offset);
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        (*new_offset)[i] = p.offset;
        if (p.fault != bank_fault_none || p.alias)
            continue;
        (*new_offset)[i] = at;
        at += new_length[i];
    }
    for (size_t i = 0; i < phrases.size(); i++)
        for (size_t j = 0; j < i && phrases[i].alias; j++)
            if (phrases[j].number == phrases[i].other && !phrases[j].alias)
                (*new_offset)[i] = (*new_offset)[j];
    return at == INT64_MAX || at <= limit;
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
