// Where the phrases are, and what is wrong with the entries that cannot be
// used.
#include <algorithm>
#include <cstdio>

#include "files.h"
#include "sndbank.h"

using namespace sndtools;

bool banked(const bank_options &o)
{
    return o.regions == nullptr && o.layout.kind != SNDTOOLS_LAYOUT_MSM6295;
}

stop check_paged_table(const bank_options &o)
{
    if (o.layout.unpaged_table != 0 && o.layout.kind != SNDTOOLS_LAYOUT_NMK112)
        return failed("--no-paged-table belongs to --layout nmk112\n");
    return stop();
}

std::string layout_words(const rom_layout &layout)
{
    return layout.unpaged_table != 0 ? "nmk112 --no-paged-table" : layout_name(layout);
}

std::string rom_names(const bank_options &o)
{
    return o.roms.empty() ? std::string(o.rom)
                          : names_of(std::vector<std::string>(o.roms.begin(), o.roms.end()));
}

// The ROM's files one after another.
static stop read_rom(const bank_options &o, loaded_bank *bank)
{
    if (o.roms.empty()) {
        if (stop refusal = read_whole_file(o.rom, &bank->rom))
            return refusal;
        bank->file_ends = {int64_t(bank->rom.size())};
        return stop();
    }
    for (const char *name : o.roms) {
        std::vector<unsigned char> bytes;
        if (stop refusal = read_whole_file(name, &bytes))
            return refusal;
        bank->rom.insert(bank->rom.end(), bytes.begin(), bytes.end());
        bank->file_ends.push_back(int64_t(bank->rom.size()));
    }
    return stop();
}

stop load_bank(const bank_options &o, loaded_bank *bank)
{
    if (stop refusal = read_rom(o, bank))
        return refusal;
    const int64_t size = static_cast<int64_t>(bank->rom.size());
    if (o.regions == nullptr) {
        if (!read_layout(bank->rom.data(), size, o.layout, o.table_offset, &bank->views,
                         &bank->phrases))
            return failed("%s %s no phrase table at 0x%X: %s %lld bytes end before the "
                          "table's %lld\n", rom_names(o).c_str(), o.roms.size() > 1 ? "hold" : "holds",
                          static_cast<unsigned>(o.table_offset), o.roms.size() > 1 ? "their" : "its",
                          static_cast<long long>(size),
                          static_cast<long long>(o.layout.kind == SNDTOOLS_LAYOUT_TT5665
                                                     ? 8 * 512 : bank_table_size));
        return stop();
    }
    std::vector<unsigned char> text;
    if (stop refusal = read_whole_file(o.regions, &text))
        return refusal;
    bank->regions_text.assign(text.begin(), text.end());
    parse_regions(bank->regions_text.data(), static_cast<int64_t>(text.size()), size,
                  &bank->phrases);
    return stop();
}

static std::string printed(const char *format, long long a, long long b = 0, long long c = 0)
{
    char text[256];
    snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string right_aligned(const std::string &text, int width)
{
    return std::string(size_t(std::max(0, width - int(text.size()))), ' ') + text;
}

std::string label_of(int32_t bank, int number)
{
    return bank < 0 ? std::to_string(number) : printed("b%lld-%03lld", bank, number);
}

int label_width(const loaded_bank &bank)
{
    const int32_t last_bank = bank.views.empty() ? -1 : bank.views.back().bank; // the largest
    return last_bank < 0 ? 3 : std::max(8, int(label_of(last_bank, 0).size())); // "b255-127"
}

// Two chip addresses of a view as a fault's line gives them: the file's
// offsets when the view maps both there, else the chip's.
static std::string pair_text(const bank_view &v, const char *format, int64_t a, int64_t b)
{
    const int64_t at = view_offset(v, a), bt = view_offset(v, b);
    const bool in_file = at >= 0 && bt >= 0;
    return (in_file ? "" : "chip address ") +
           printed(format, in_file ? at : a, in_file ? bt : b);
}

// Why an entry seen through a bank's view cannot be used.
static std::string why_in_view(const loaded_bank &bank, const bank_view &v, const bank_phrase &p)
{
    const int64_t size = static_cast<int64_t>(bank.rom.size());
    const std::string file = bank.file_ends.size() > 1 ? "files" : "file";
    switch (p.fault) {
    case bank_fault_reversed:
        return "starts at " + pair_text(v, "0x%06llX, after its end 0x%06llX", p.start, p.end);
    case bank_fault_in_table: {
        const bool table_there = view_offset(v, v.own_from) == v.table_at; // not nmk112:unpaged's
        const int64_t from = table_there ? v.table_at : v.own_from;
        return "starts at " +
               (table_there ? hex_address(view_offset(v, p.start))
                            : "chip address " + hex_address(p.start)) +
               printed(", inside the table (0x%06llX to 0x%06llX)", from, from + v.table_size - 1);
    }
    case bank_fault_past_space:
        return printed("ends at chip address 0x%06llX, past the space the chip addresses (to "
                       "0x%06llX)", p.end, v.space - 1);
    case bank_fault_past_file:
        return printed("ends at 0x%06llX, past the end of the ", p.offset + p.length - 1) + file +
               printed(" (%lld bytes)", size);
    case bank_fault_overlap:
        return printed("0x%06llX to 0x%06llX overlaps phrase ", p.offset, p.offset + p.length - 1) +
               label_of(p.other_bank, p.other);
    case bank_fault_other_bank: {
        const int64_t bank_size = v.own_to - v.own_from;
        return printed("chip addresses 0x%06llX to 0x%06llX lie in bank %lld, ", p.start, p.end,
                       p.start / bank_size) +
               "whose page the ROM alone cannot say";
    }
    case bank_fault_crosses: {
        int64_t edge = v.own_to, size_of_bank = v.own_to - v.own_from;
        for (const address_area &a : v.areas)
            if (p.start >= a.from && p.start < a.to) {
                edge = a.to;
                size_of_bank = a.to - a.from;
            }
        const std::string into = v.bank < 0 ? "from the fixed area into the window"
                                            : printed("from bank %lld into bank %lld",
                                                      p.start / size_of_bank, edge / size_of_bank);
        return printed("chip addresses 0x%06llX to 0x%06llX reach ", p.start, p.end) + into +
               printed(" at 0x%06llX: its bytes lie in two places", edge);
    }
    default:
        return "";
    }
}

static std::string why(const loaded_bank &bank, const bank_options &o, const bank_phrase &p)
{
    const bank_view *view = banked(o) ? view_of(bank.views, p) : nullptr;
    if (view != nullptr)
        return why_in_view(bank, *view, p);
    const long long base = o.regions != nullptr ? 0 : o.table_offset;
    switch (p.fault) {
    case bank_fault_reversed:
        return printed("starts at 0x%06llX, after its end 0x%06llX", base + p.start, base + p.end);
    case bank_fault_in_table:
        return printed("starts at 0x%06llX, inside the table (0x%06llX to 0x%06llX)",
                       base + p.start, base, base + bank_table_size - 1);
    case bank_fault_past_space:
        return printed("ends at 0x%06llX, past the 256 KiB the chip addresses (to 0x%06llX)",
                       base + p.end, base + bank_chip_space - 1);
    case bank_fault_past_file:
        return printed("ends at 0x%06llX, past the end of the file (%lld bytes)",
                       base + p.end, static_cast<long long>(bank.rom.size()));
    case bank_fault_overlap:
        return printed("0x%06llX to 0x%06llX overlaps phrase %lld", p.offset,
                       p.offset + p.length - 1, p.other);
    case bank_fault_syntax:
        return printed("line %lld is not \"offset length [rate] [name]\"", p.line);
    case bank_fault_number:
        return printed("line %lld has a number that is not understood", p.line);
    case bank_fault_no_bytes:
        return printed("line %lld gives a length of 0", p.line);
    case bank_fault_rate:
        return printed("line %lld gives a rate of 0", p.line);
    case bank_fault_name:
        return printed("line %lld has a name that cannot be a file's", p.line);
    case bank_fault_same_name:
        return printed("line %lld has the name of phrase %lld", p.line, p.other);
    default:
        return "";
    }
}

std::string fault_line(const loaded_bank &bank, const bank_options &o, const bank_phrase &p)
{
    return right_aligned(phrase_label(p), label_width(bank)) + "  bad: " + why(bank, o, p) + "\n";
}

int print_faults(const loaded_bank &bank, const bank_options &o)
{
    int bad = 0;
    for (const bank_phrase &p : bank.phrases)
        if (p.fault != bank_fault_none) {
            fputs(fault_line(bank, o, p).c_str(), stdout);
            bad++;
        }
    return bad;
}

int adpcm_rate_of(const bank_options &o, const bank_phrase &p)
{
    return p.adpcm_rate > 0 ? p.adpcm_rate : o.rate;
}

std::string phrase_label(const bank_phrase &p)
{
    return label_of(p.bank, p.number);
}

std::string wav_name_of(const loaded_bank &bank, const bank_phrase &p)
{
    if (p.name_length > 0) {
        std::string name(bank.regions_text.data() + p.name_at, static_cast<size_t>(p.name_length));
        size_t n = name.size();
        bool has_wav = n > 4 && (name.compare(n - 4, 4, ".wav") == 0 || name.compare(n - 4, 4, ".WAV") == 0);
        return has_wav ? name : name + ".wav";
    }
    if (p.bank >= 0)
        return phrase_label(p) + ".wav";
    return printed("%03lld.wav", p.number);
}

int64_t space_from(const bank_options &o)
{
    return o.regions != nullptr ? 0 : o.table_offset + bank_table_size;
}

int64_t space_to(const bank_options &o, const loaded_bank &bank)
{
    const int64_t size = static_cast<int64_t>(bank.rom.size());
    return o.regions != nullptr ? size : std::min(size, o.table_offset + bank_chip_space);
}

std::string plural(int n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string hex_address(int64_t address)
{
    return printed("0x%06llX", address);
}
