#include "manifest.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "files.h"

const char manifest_name[] = "bank.tsv";

static const char first_line[] = "# sndbank manifest 1: the phrases taken out of a sample ROM; "
                                 "edit the WAV files, then: sndbank implant ROM DIR";
static const char columns[] = "number\toffset\tlength\trate\twav_rate\tmultiplier\tfile\tfnv1a64";

manifest_row *row_of(manifest *m, int number)
{
    for (manifest_row &r : m->rows)
        if (r.number == number)
            return &r;
    return nullptr;
}

uint64_t fnv1a_more(uint64_t hash, const unsigned char *bytes, int64_t n)
{
    for (int64_t i = 0; i < n; i++) {
        hash ^= bytes[i];
        hash *= 1099511628211u;
    }
    return hash;
}

std::string hash_text(uint64_t hash)
{
    char text[17];
    snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

static std::vector<std::string> fields_of(const std::string &line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    return fields;
}

static bool whole_number(const std::string &text, int64_t *value)
{
    char *end = nullptr;
    long long v = strtoll(text.c_str(), &end, 0);
    *value = v;
    return !text.empty() && end != nullptr && *end == '\0' && v >= 0;
}

static bool read_row(const std::vector<std::string> &f, manifest_row *row)
{
    int64_t number, rate, wav_rate;
    if (f.size() != 8 || !whole_number(f[0], &number) || !whole_number(f[1], &row->offset) ||
        !whole_number(f[2], &row->length) || !whole_number(f[3], &rate) ||
        !whole_number(f[4], &wav_rate) || rate < 1 || rate > INT32_MAX || wav_rate < 1 ||
        wav_rate > INT32_MAX || f[6].empty() || f[7].size() != 16)
        return false;
    row->number = static_cast<int>(number);
    row->rate = static_cast<int>(rate);
    row->wav_rate = static_cast<int>(wav_rate);
    row->multiplier = f[5];
    row->file = f[6];
    row->hash = f[7];
    return true;
}

bool read_manifest(const std::string &path, manifest *m, std::string *why)
{
    std::vector<unsigned char> bytes;
    if (read_whole_file(path.c_str(), &bytes)) {
        *why = "there is no manifest " + path + " of an extraction (sndbank extract makes it)";
        return false;
    }
    std::stringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    bool source = false, order = false, header = false;
    m->rows.clear();
    for (int n = 1; std::getline(in, line); n++) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> f = fields_of(line);
        bool understood = true;
        if (line.empty() || line[0] == '#')
            continue;
        else if (f.size() == 3 && f[0] == "source" && f[1] == "table")
            understood = source = whole_number(f[2], &m->table_offset);
        else if (f.size() == 3 && f[0] == "source" && f[1] == "regions")
            m->regions = f[2], source = true;
        else if (f.size() == 2 && f[0] == "nibble_order" && (f[1] == "high" || f[1] == "low"))
            m->order = f[1] == "low" ? sndtools::low_nibble_first : sndtools::high_nibble_first,
            order = true;
        else if (line == columns)
            header = true;
        else {
            manifest_row row;
            understood = header && read_row(f, &row);
            m->rows.push_back(row);
        }
        if (!understood) {
            *why = path + ", line " + std::to_string(n) + ", is not a manifest's: " + line;
            return false;
        }
    }
    if (!source || !order || !header) {
        *why = path + " is no manifest of an extraction: it lacks its " +
               (!source ? "source" : !order ? "nibble order" : "column") + " line";
        return false;
    }
    return true;
}

stop write_manifest(const std::string &path, const manifest &m)
{
    std::string text = std::string(first_line) + "\n";
    char offset[32];
    snprintf(offset, sizeof offset, "0x%06llX", static_cast<unsigned long long>(m.table_offset));
    if (m.regions.empty())
        text += std::string("source\ttable\t") + offset + "\n";
    else
        text += "source\tregions\t" + m.regions + "\n";
    text += std::string("nibble_order\t") +
            (m.order == sndtools::low_nibble_first ? "low" : "high") + "\n" + columns + "\n";
    for (const manifest_row &r : m.rows) {
        char place[64];
        snprintf(place, sizeof place, "%d\t0x%06llX\t%lld\t%d\t%d\t", r.number,
                 static_cast<unsigned long long>(r.offset), static_cast<long long>(r.length),
                 r.rate, r.wav_rate);
        text += place + r.multiplier + "\t" + r.file + "\t" + r.hash + "\n";
    }
    return replace_file(path.c_str(), reinterpret_cast<const unsigned char *>(text.data()),
                        static_cast<int64_t>(text.size()));
}
