#include "manifest.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <system_error>

#include "bank.h"
#include "cli.h"
#include "files.h"
#include "numbers.h"
#include "sndbank.h"

const char manifest_name[] = "bank.tsv";

static const char first_line[] = "# sndbank manifest 2: the phrases taken out of a sample ROM; "
                                 "edit the WAV files, then: sndbank implant ROM DIR";
static const char columns[] = "number\toffset\tlength\trate\twav_rate\tmultiplier\tfile";
static const char resized_columns[] = "\tresized_offset\tresized_length\tresized_xxh64";

// The hash's column names it: the first manifests' FNV-1a, or XXH64.
static const char *hash_column(hash_kind kind)
{
    return kind == hash_fnv1a_v1 ? "fnv1a64" : "xxh64";
}

static bool row_before(const manifest_row &a, const manifest_row &b)
{
    return a.bank != b.bank ? a.bank < b.bank : a.number < b.number;
}

const manifest_row *row_of(const manifest &m, int bank, int number)
{
    manifest_row key;
    key.bank = bank;
    key.number = number;
    auto r = std::lower_bound(m.rows.begin(), m.rows.end(), key, row_before);
    return r != m.rows.end() && !row_before(key, *r) ? &*r : nullptr;
}

manifest_row *row_of(manifest *m, int bank, int number)
{
    return const_cast<manifest_row *>(row_of(static_cast<const manifest &>(*m), bank, number));
}

static std::vector<std::string> fields_of(const std::string &line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
        fields.push_back(line.substr(at, tab - at));
    fields.push_back(line.substr(at));
    return fields;
}

// A number from least below 2^31; hexadecimal after "0x" too where hex.
static bool number_field(const std::string &text, int64_t least, int64_t *value, bool hex = true)
{
    return sndtools::read_number(text.data(), int64_t(text.size()), hex, INT32_MAX, value) &&
           *value >= least;
}

static bool hash_field(const std::string &text, uint64_t *hash)
{
    const char *end = text.data() + text.size();
    return text.size() == 16 && std::from_chars(text.data(), end, *hash, 16).ptr == end;
}

// A row's number: the entry's, after "b3-" for one seen through bank 3.
static std::string number_text(const manifest_row &r)
{
    sndtools::bank_phrase p{};
    p.number = r.number;
    p.bank = r.bank;
    return phrase_label(p);
}

// The reason it is none, or empty.
static std::string read_number_text(const std::string &text, const manifest &m,
                                    manifest_row *row)
{
    const int last = m.layout.kind == SNDTOOLS_LAYOUT_TT5665 ? 511
                     : m.regions.empty()                    ? sndtools::bank_table_entries - 1
                                                            : INT32_MAX;
    const std::string why = m.layout.kind == SNDTOOLS_LAYOUT_MSM6295
                                ? "the phrase's number is not one from 1 to " + std::to_string(last)
                                : "the phrase's number is not one of its layout's";
    int64_t bank = -1, number;
    size_t dash = text.find('-');
    if (text.size() > 1 && text[0] == 'b' && dash != std::string::npos) {
        if (m.layout.kind == SNDTOOLS_LAYOUT_MSM6295 ||
            !number_field(text.substr(1, dash - 1), 0, &bank, false))
            return why;
    } else
        dash = std::string::npos;
    if (!number_field(text.substr(dash + 1), 1, &number, false) || number > last)
        return why;
    row->bank = int(bank);
    row->number = int(number);
    return "";
}

// One row's fields, checked: the reason it is none, or empty.
static std::string read_row(const std::vector<std::string> &f, const manifest &m,
                            manifest_row *row)
{
    const size_t wanted = 8 + (m.peaks ? 1 : 0) + (m.resized ? 3 : 0), more = m.peaks ? 9 : 8;
    if (f.size() != wanted)
        return std::to_string(f.size()) + " fields where the columns are " +
               std::to_string(wanted);
    int64_t rate, wav_rate;
    const std::string number_problem = read_number_text(f[0], m, row);
    if (!number_problem.empty())
        return number_problem;
    if (!number_field(f[1], 0, &row->offset) || !number_field(f[2], 1, &row->length))
        return "its offset or length is not a number from 0 (1 for a length) below 2^31";
    if (!number_field(f[3], 1, &rate) || !number_field(f[4], 1, &wav_rate))
        return "a rate is not a number from 1 below 2^31";
    float multiplier;
    if (!sndtools::amplification_understood(f[5].c_str(), &multiplier) ||
        !std::isfinite(multiplier))
        return "its multiplier is not understood";
    if (!sndtools::bank_name_usable(f[6].data(), int64_t(f[6].size())))
        return "its file is not a plain file name in the manifest's folder";
    if (!hash_field(f[7], &row->hash))
        return "its hash is not 16 hexadecimal digits";
    int64_t peak = -1;
    if (m.peaks && (!number_field(f[8], 0, &peak) || peak > 2048))
        return "its peak is not a number from 0 to 2048";
    row->peak = static_cast<int>(peak);
    if (m.resized && !(number_field(f[more], 0, &row->resized_offset) &&
                       number_field(f[more + 1], 1, &row->resized_length) &&
                       hash_field(f[more + 2], &row->resized_hash)))
        return "its resized offset, length or hash is not understood";
    if (!m.resized) {
        row->resized_offset = row->offset;
        row->resized_length = row->length;
    }
    row->rate = static_cast<int>(rate);
    row->wav_rate = static_cast<int>(wav_rate);
    row->multiplier = f[5];
    row->file = f[6];
    return "";
}

bool fits_manifest(const std::string &name)
{
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

// The header's lines, each once: the source, the nibble order, the resized
// list, the columns (which say the hash and whether a resize's layout
// follows).
static bool read_header_line(const std::string &line, const std::vector<std::string> &f,
                             manifest *m, bool *source, bool *order, bool *header)
{
    int64_t offset;
    if (f.size() == 2 && f[0] == "layout" && m->layout.kind == SNDTOOLS_LAYOUT_MSM6295 &&
        *source && m->regions.empty())
        return sndtools::parse_layout(f[1].c_str(), &m->layout) &&
               m->layout.kind != SNDTOOLS_LAYOUT_MSM6295;
    if (f.size() == 3 && f[0] == "source" && !*source) {
        if (f[1] == "table" && number_field(f[2], 0, &offset))
            m->table_offset = offset;
        else if (f[1] == "regions" && fits_manifest(f[2]))
            m->regions = f[2];
        else
            return false;
        return *source = true;
    }
    if (f.size() == 2 && f[0] == "resized_regions" && m->resized_regions.empty() &&
        fits_manifest(f[1])) {
        m->resized_regions = f[1];
        return true;
    }
    if (f.size() == 2 && f[0] == "nibble_order" && !*order && (f[1] == "high" || f[1] == "low")) {
        m->order = f[1] == "low" ? sndtools::low_nibble_first : sndtools::high_nibble_first;
        return *order = true;
    }
    for (hash_kind kind : {hash_fnv1a_v1, hash_xxh64})
        for (bool peaks : {false, true})
            for (bool resized : {false, true})
                if (line == std::string(columns) + "\t" + hash_column(kind) +
                                (peaks ? "\tpeak" : "") + (resized ? resized_columns : "")) {
                    m->hash = kind;
                    m->peaks = peaks;
                    m->resized = resized;
                    return *header = true;
                }
    return false;
}

bool parse_manifest(const char *text, int64_t size, const std::string &path, manifest *m,
                    std::string *why)
{
    *m = manifest();
    bool source = false, order = false, header = false;
    std::map<std::pair<int, int>, int64_t> row_line; // where each phrase's row was, for a repeated one
    int64_t at = 0;
    for (int64_t n = 1; at < size; n++) {
        const char *end = static_cast<const char *>(memchr(text + at, '\n', size_t(size - at)));
        int64_t line_end = end != nullptr ? end - text : size;
        std::string line(text + at, size_t(line_end - at));
        at = line_end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f = fields_of(line);
        std::string problem;
        if (!header) {
            if (!read_header_line(line, f, m, &source, &order, &header))
                problem = "not a line of a manifest's header";
        } else {
            manifest_row row;
            problem = read_row(f, *m, &row);
            const std::pair<int, int> key{row.bank, row.number};
            if (problem.empty() && row_line.count(key) != 0)
                problem = "phrase " + number_text(row) + " again (line " +
                          std::to_string(row_line[key]) + ")";
            m->rows.push_back(row);
            row_line[key] = n;
        }
        if (!problem.empty()) {
            *why = path + ", line " + std::to_string(n) + ", is not a manifest's: " + problem +
                   ": " + excerpt(line);
            return false;
        }
    }
    std::sort(m->rows.begin(), m->rows.end(), row_before);
    if (!source || !order || !header) {
        *why = path + " is no manifest of an extraction: it lacks its " +
               (!source ? "source" : !order ? "nibble order" : "column") + " line";
        return false;
    }
    return true;
}

bool read_manifest(const std::string &path, manifest *m, std::string *why)
{
    std::vector<unsigned char> bytes;
    std::error_code error;
    if (!std::filesystem::exists(path_of(path.c_str()), error)) {
        *why = "there is no manifest " + path + " of an extraction (sndbank extract makes it)";
        return false;
    }
    if (stop refusal = read_whole_file(path.c_str(), &bytes)) {
        *why = refusal.lines.substr(0, refusal.lines.size() - 1);
        return false;
    }
    return parse_manifest(reinterpret_cast<const char *>(bytes.data()), int64_t(bytes.size()), path,
                          m, why);
}

std::string manifest_text(const manifest &m)
{
    std::string text = std::string(first_line) + "\n";
    if (m.regions.empty())
        text += "source\ttable\t" + hex_address(m.table_offset) + "\n";
    else
        text += "source\tregions\t" + m.regions + "\n";
    if (m.regions.empty() && m.layout.kind != SNDTOOLS_LAYOUT_MSM6295)
        text += "layout\t" + sndtools::layout_name(m.layout) + "\n";
    if (!m.resized_regions.empty())
        text += "resized_regions\t" + m.resized_regions + "\n";
    text += std::string("nibble_order\t") +
            (m.order == sndtools::low_nibble_first ? "low" : "high") + "\n" + columns + "\t" +
            hash_column(m.hash) + (m.peaks ? "\tpeak" : "") + (m.resized ? resized_columns : "") +
            "\n";
    for (const manifest_row &r : m.rows) {
        text += number_text(r) + "\t" + hex_address(r.offset) + "\t" +
                std::to_string(r.length) + "\t" + std::to_string(r.rate) + "\t" +
                std::to_string(r.wav_rate) + "\t" + r.multiplier + "\t" + r.file + "\t" +
                hash_text(r.hash);
        if (m.peaks)
            text += "\t" + std::to_string(r.peak);
        if (m.resized)
            text += "\t" + hex_address(r.resized_offset) + "\t" +
                    std::to_string(r.resized_length) + "\t" + hash_text(r.resized_hash);
        text += "\n";
    }
    return text;
}
