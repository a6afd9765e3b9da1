#include "layouts.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "numbers.h"

namespace sndtools {

namespace {

const int64_t page_size = 0x10000;             // an NMK112 bank
const int64_t tt5665_space = int64_t(1) << 24; // and every address an entry holds

// Every layout's mapping in one formula: A below fixed reads R[A]; from
// fixed on, R[page_base + k * stride + (A - fixed) % window].
struct mapping {
    int64_t space, fixed, page_base, stride, window;
};

mapping mapping_of(const rom_layout &l)
{
    switch (l.kind) {
    case SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE:
        return {bank_chip_space, l.fixed, 0, l.window, bank_chip_space - l.fixed};
    case SNDTOOLS_LAYOUT_WINDOW_LINEAR:
        return {bank_chip_space, l.fixed, l.fixed, l.window, bank_chip_space - l.fixed};
    case SNDTOOLS_LAYOUT_BANKS:
        return {bank_chip_space, 0, 0, bank_chip_space, bank_chip_space};
    case SNDTOOLS_LAYOUT_NMK112:
        return {bank_chip_space, 0, 0, page_size, page_size};
    case SNDTOOLS_LAYOUT_TT5665:
        return {tt5665_space, tt5665_space, 0, 0, 1};
    default:
        return {bank_chip_space, bank_chip_space, 0, 0, 1};
    }
}

struct named_kind {
    const char *name;
    int32_t kind;
    bool parameters;
};

const named_kind kinds[] = {
    {"msm6295", SNDTOOLS_LAYOUT_MSM6295, false},
    {"window-absolute", SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE, true},
    {"window-linear", SNDTOOLS_LAYOUT_WINDOW_LINEAR, true},
    {"banks", SNDTOOLS_LAYOUT_BANKS, false},
    {"nmk112", SNDTOOLS_LAYOUT_NMK112, false},
    {"nmk112:unpaged", SNDTOOLS_LAYOUT_NMK112, false}, // a table at the file's start
    {"tt5665", SNDTOOLS_LAYOUT_TT5665, false},
};

const named_kind *kind_named(int32_t kind)
{
    for (const named_kind &k : kinds)
        if (k.kind == kind)
            return &k; // (nmk112 before its unpaged form)
    return nullptr;
}

bank_phrase empty_phrase(int number, int32_t bank)
{
    bank_phrase p{};
    p.number = number;
    p.bank = bank;
    p.other_bank = -1;
    return p;
}

// An entry as a view sees it; false when it is another view's.
bool view_entry(const bank_view &v, int number, int64_t start, int64_t end, int64_t rom_size,
                bank_phrase *p)
{
    const bool own = start >= v.own_from && start < v.own_to;
    if (!own && !v.others_depend)
        return false;
    *p = empty_phrase(number, v.bank);
    p->start = start;
    p->end = end;
    const int64_t at = view_offset(v, start), length = start <= end ? end - start + 1 : 0;
    p->offset = at < 0 ? 0 : at;
    p->length = length;
    if (start > end)
        p->fault = bank_fault_reversed;
    else if (end >= v.space)
        p->fault = bank_fault_past_space;
    else if (!own) {
        p->fault = bank_fault_other_bank;
        p->offset = p->length = 0;
    } else if (at < 0 || view_offset(v, end) != at + length - 1)
        p->fault = bank_fault_crosses;
    else if (at + length > rom_size)
        p->fault = bank_fault_past_file;
    else if (start - v.own_from < v.table_size)
        p->fault = bank_fault_in_table;
    return true;
}

} // namespace

bool layout_valid(const rom_layout &l)
{
    for (int32_t r : l.reserved)
        if (r != 0)
            return false;
    if (kind_named(l.kind) == nullptr || (l.unpaged_table != 0 && l.kind != SNDTOOLS_LAYOUT_NMK112))
        return false;
    if (l.kind != SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE && l.kind != SNDTOOLS_LAYOUT_WINDOW_LINEAR)
        return l.fixed == 0 && l.window == 0;
    return l.fixed >= bank_table_size && l.fixed < bank_chip_space && l.window >= 0x1000 &&
           l.window <= INT32_MAX;
}

bool parse_layout(const char *text, rom_layout *layout)
{
    const char *colon = strncmp(text, "nmk112:", 7) == 0 ? nullptr : strchr(text, ':');
    const size_t name_length = colon != nullptr ? size_t(colon - text) : strlen(text);
    rom_layout l{};
    for (const named_kind &k : kinds) {
        if (strlen(k.name) != name_length || strncmp(k.name, text, name_length) != 0)
            continue;
        if (k.parameters != (colon != nullptr))
            return false;
        l.kind = k.kind;
        l.unpaged_table = strcmp(k.name, "nmk112:unpaged") == 0;
        if (colon != nullptr) {
            const char *comma = strchr(colon + 1, ',');
            if (comma == nullptr ||
                !read_number(colon + 1, comma - colon - 1, true, INT32_MAX, &l.fixed) ||
                !read_number(comma + 1, int64_t(strlen(comma + 1)), true, INT32_MAX, &l.window))
                return false;
        }
        if (!layout_valid(l))
            return false;
        *layout = l;
        return true;
    }
    return false;
}

std::string layout_name(const rom_layout &l)
{
    const named_kind *k = kind_named(l.kind);
    std::string name = k == nullptr ? "?" : l.unpaged_table != 0 ? "nmk112:unpaged" : k->name;
    if (k != nullptr && k->parameters) {
        char numbers[64];
        snprintf(numbers, sizeof numbers, ":0x%llX,0x%llX", static_cast<unsigned long long>(l.fixed),
                 static_cast<unsigned long long>(l.window));
        name += numbers;
    }
    return name;
}

int64_t layout_offset(const rom_layout &layout, int64_t base, int32_t bank, int64_t address)
{
    const mapping m = mapping_of(layout);
    if (address < 0 || address >= m.space)
        return -1;
    if (address < m.fixed)
        return base + address;
    return bank < 0 ? -1 : base + m.page_base + bank * m.stride + (address - m.fixed) % m.window;
}

int64_t layout_address(const rom_layout &layout, int64_t base, int32_t bank, int64_t offset)
{
    const mapping m = mapping_of(layout);
    const int64_t from_base = offset - base;
    if (from_base >= 0 && from_base < m.fixed)
        return from_base;
    const int64_t in_window = from_base - m.page_base - int64_t(bank) * m.stride;
    return bank < 0 || from_base < 0 || in_window < 0 || in_window >= m.window ? -1
                                                                             : m.fixed + in_window;
}

int64_t view_offset(const bank_view &view, int64_t address)
{
    for (const address_area &a : view.areas)
        if (address >= a.from && address < a.to)
            return a.at + address - a.from;
    return -1;
}

int64_t view_address(const bank_view &view, int64_t offset)
{
    for (const address_area &a : view.areas)
        if (offset >= a.at && offset < a.at + a.to - a.from)
            return a.from + offset - a.at;
    return -1;
}

std::vector<bank_view> layout_views(const rom_layout &layout, int64_t base, int64_t rom_size)
{
    std::vector<bank_view> views;
    if (base < 0 || base > rom_size)
        return views; // (nor would base + a page stay a number)
    const mapping m = mapping_of(layout);
    const auto fits = [&](int64_t from, int64_t to) { return from >= 0 && to <= rom_size; };
    switch (layout.kind) {
    case SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE:
    case SNDTOOLS_LAYOUT_WINDOW_LINEAR: {
        if (!fits(base, base + bank_table_size))
            break;
        bank_view fixed;
        fixed.table_at = base;
        fixed.own_to = m.fixed;
        fixed.areas = {{0, m.fixed, base}};
        views.push_back(fixed);
        for (int32_t k = 0; base + m.page_base + int64_t(k) * m.stride < rom_size; k++) {
            if (layout.kind == SNDTOOLS_LAYOUT_WINDOW_ABSOLUTE && int64_t(k) * m.stride < m.fixed)
                continue; // its page is the fixed area again
            bank_view v;
            v.bank = k;
            v.table_at = base;
            v.own_from = m.fixed;
            v.table_size = 0;
            v.shared_entry = true;
            v.areas = {{m.fixed, m.space, base + m.page_base + int64_t(k) * m.stride}};
            views.push_back(v);
        }
        break;
    }
    case SNDTOOLS_LAYOUT_BANKS:
        for (int32_t k = 0; fits(base + k * m.stride, base + k * m.stride + bank_table_size); k++) {
            bank_view v;
            v.bank = k;
            v.table_at = base + int64_t(k) * m.stride;
            v.areas = {{0, m.space, v.table_at}};
            views.push_back(v);
        }
        break;
    case SNDTOOLS_LAYOUT_NMK112: {
        const int slices = int(m.space / page_size), per_slice = bank_table_entries / slices;
        for (int32_t p = 0; base + int64_t(p) * page_size < rom_size; p++) {
            const int64_t page = base + int64_t(p) * page_size;
            if (layout.unpaged_table != 0) {
                if (!fits(base, base + bank_table_size))
                    break;
                bank_view v;
                v.bank = p;
                v.table_at = base;
                v.table_size = 0x400;
                v.shared_entry = true;
                for (int s = 0; s < slices; s++)
                    v.areas.push_back({s * page_size, (s + 1) * page_size, page});
                views.push_back(v);
                continue;
            }
            for (int s = 0; s < slices; s++) {
                if (!fits(page, page + 8 * per_slice * (s + 1)))
                    break;
                bank_view v;
                v.bank = p;
                v.table_at = page;
                v.first = s == 0 ? 1 : s * per_slice;
                v.end = (s + 1) * per_slice;
                v.own_from = s * page_size;
                v.own_to = v.own_from + page_size;
                v.table_size = 0x400;
                v.others_depend = true;
                v.areas = {{v.own_from, v.own_to, page}};
                views.push_back(v);
            }
        }
        break;
    }
    default: { // one table, the chip's addresses the file's from base on
        bank_view v;
        v.table_at = base;
        if (layout.kind == SNDTOOLS_LAYOUT_TT5665) {
            v.end = 512;
            v.table_size = 8 * 512;
            v.space = tt5665_space;
        }
        // Every 24-bit address has its offset, so that a faulty entry's says
        // where it points.
        v.areas = {{0, tt5665_space, base}};
        if (fits(base, base + 8 * v.end))
            views.push_back(v);
    }
    }
    return views;
}

// Where two phrases' bytes meet within a view (defined with the table's
// reader).
void mark_shared_bytes(bank_phrase *first, bank_phrase *last);

bool read_layout(const unsigned char *rom, int64_t rom_size, const rom_layout &layout,
                 int64_t base, std::vector<bank_view> *views, std::vector<bank_phrase> *phrases)
{
    phrases->clear();
    *views = layout_views(layout, base, rom_size);
    std::vector<bool> told(512, false); // by entry: the most a table holds
    for (const bank_view &v : *views) {
        const size_t from = phrases->size();
        for (int n = v.first; n < v.end; n++) {
            int64_t start, end;
            bank_phrase p;
            if (!table_entry_addresses(rom + v.table_at + 8 * n, &start, &end) ||
                !view_entry(v, n, start, end, rom_size, &p))
                continue;
            // Every bank reads a shared entry: what is wrong with its
            // addresses alone is told once.
            const bool of_addresses = p.fault != bank_fault_none && p.fault != bank_fault_past_file;
            if (v.shared_entry && of_addresses && told[size_t(n)])
                continue;
            if (v.shared_entry && of_addresses)
                told[size_t(n)] = true;
            phrases->push_back(p);
        }
        mark_shared_bytes(phrases->data() + from, phrases->data() + phrases->size());
    }
    // The same bytes reached through another view: one phrase, listed under
    // each number that reaches it (within a view mark_shared_bytes said so).
    std::map<std::pair<int64_t, int64_t>, const bank_phrase *> first_seen;
    for (bank_phrase &p : *phrases) {
        if (p.fault != bank_fault_none)
            continue;
        const bank_phrase *first = first_seen.insert({{p.offset, p.length}, &p}).first->second;
        if (first == &p)
            continue;
        p.alias = 1;
        p.inside = 0;
        p.other = first->number;
        p.other_bank = first->bank;
    }
    return !views->empty();
}

const bank_view *view_of(const std::vector<bank_view> &views, const bank_phrase &p)
{
    // The views lie in the order of their banks and entries; one view of a
    // bank holds each entry.
    auto after = std::upper_bound(views.begin(), views.end(), p, [](const bank_phrase &q,
                                                                     const bank_view &v) {
        return q.bank != v.bank ? q.bank < v.bank : q.number < v.first;
    });
    if (after == views.begin())
        return nullptr;
    const bank_view &v = *(after - 1);
    return v.bank == p.bank && p.number >= v.first && p.number < v.end ? &v : nullptr;
}

} // namespace sndtools
