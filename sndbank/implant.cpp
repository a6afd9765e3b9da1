// sndbank implant: every phrase whose WAV file changed since the
// extraction, put back as sndimplant puts it (with --resize, the phrases
// laid out again); the whole new ROM built first, then put in place of the
// old in one step, and the manifest brought up to date.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "counts.h"
#include "file_stream.h"
#include "files.h"
#include "implant.h"
#include "manifest.h"
#include "numbers.h"
#include "sndbank.h"
#include "wav.h"
#include "wav_refusal.h"

using namespace sndtools;

// A phrase to put back: its place before and after, its WAV file.
struct put_back {
    const bank_phrase *phrase;
    manifest_row *row;
    std::string path;
    bool changed;
    uint64_t hash;
    int samplerate_in, waveblock_size;
    int64_t needed; // bytes for every frame
};

static stop nothing_changed(const std::string &why)
{
    return failed("%s: nothing was changed\n", why.c_str());
}

// The manifest must be the one of this ROM's phrases, as the options locate
// them: the same source, the same nibble order, the same phrases.
static stop check_manifest(const bank_layout &bank, const bank_options &o, manifest &m)
{
    if (o.regions == nullptr && !m.regions.empty())
        return nothing_changed("The manifest was made from the regions list " + m.regions +
                               ", not from the phrase table: give --regions");
    if (o.regions != nullptr && m.regions.empty())
        return nothing_changed("The manifest was made from the phrase table, not from a regions "
                               "list");
    char offset[32];
    snprintf(offset, sizeof offset, "0x%06llX", static_cast<unsigned long long>(m.table_offset));
    if (o.regions == nullptr && m.table_offset != o.table_offset)
        return nothing_changed(std::string("The manifest was made from the phrase table at ") +
                               offset + ": give --table-offset " + offset);
    if (m.order != o.order)
        return nothing_changed(std::string("The manifest was made with the ") +
                               (m.order == low_nibble_first ? "low" : "high") +
                               " nibble first: give the same nibble order");
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none)
            continue;
        const manifest_row *row = row_of(&m, p.number);
        std::string n = "Phrase " + std::to_string(p.number);
        if (row == nullptr)
            return nothing_changed(n + " of " + o.rom + " is not in the manifest");
        if (row->offset != p.offset || row->length != p.length)
            return failed("%s: the manifest says %lld bytes at 0x%06llX, %s %lld bytes at "
                          "0x%06llX: nothing was changed\n", n.c_str(),
                          static_cast<long long>(row->length),
                          static_cast<unsigned long long>(row->offset), o.rom,
                          static_cast<long long>(p.length),
                          static_cast<unsigned long long>(p.offset));
    }
    for (const manifest_row &r : m.rows) {
        bool found = false;
        for (const bank_phrase &p : bank.phrases)
            found = found || (p.fault == bank_fault_none && p.number == r.number);
        if (!found)
            return nothing_changed("Phrase " + std::to_string(r.number) +
                                   " of the manifest is no phrase of " + o.rom);
    }
    return stop();
}

// The WAV file's hash, and when it changed, what its header says.
static stop look_at(put_back *b, const bank_options &o)
{
    std::vector<unsigned char> wav;
    if (!is_regular_file(b->path.c_str()))
        return failed("Phrase %d: its WAV file %s is missing: nothing was changed\n",
                      b->phrase->number, b->path.c_str());
    if (stop refusal = read_whole_file(b->path.c_str(), &wav))
        return refusal;
    b->hash = fnv1a_more(fnv1a_start, wav.data(), int64_t(wav.size()));
    b->changed = hash_text(b->hash) != b->row->hash;
    if (!b->changed)
        return stop();
    int got = wav.size() < size_t(wav_header_size) ? int(wav.size()) : wav_header_size;
    wav_check outcome = check_wav_header(wav.data(), got);
    if (outcome != wav_ok)
        return wav_refusal(b->path.c_str(), outcome, wav.data(), got, b->row->rate);
    b->samplerate_in = wav_sample_rate(wav.data());
    b->waveblock_size = wav_data_size(wav.data());
    if (b->samplerate_in <= 0 || b->waveblock_size < 0 ||
        b->waveblock_size > int64_t(wav.size()) - wav_header_size)
        return failed("%s holds a rate of %d and %d bytes of frames, which cannot be read\n",
                      b->path.c_str(), b->samplerate_in, b->waveblock_size);
    b->needed = region_bytes_for(b->waveblock_size / 4, b->samplerate_in, b->row->rate);
    if (b->needed > b->phrase->length && !o.resize)
        return failed("Phrase %d: %s needs %lld bytes for all of its %d frames at %d Hz, the "
                      "phrase has %lld: give --resize to lay the phrases out again, or shorten "
                      "the sound; nothing was changed\n", b->phrase->number, b->path.c_str(),
                      static_cast<long long>(b->needed), b->waveblock_size / 4, b->row->rate,
                      static_cast<long long>(b->phrase->length));
    return stop();
}

// Encodes the WAV file into its new place in rom.
static stop encode_phrase(const put_back &b, const bank_options &o, unsigned char *region,
                          int64_t length, const std::vector<unsigned char> &old_rom,
                          int64_t offset)
{
    FILE *in;
    if (stop refusal = open_input(b.path.c_str(), &in))
        return refusal;
    file_source file;
    byte_source wav = source_of_file(&file, in, wav_header_size,
                                     file_size(in, b.path.c_str()) - wav_header_size);
    fseek(in, wav_header_size, SEEK_SET);
    float amplification = o.amplification;
    if (!o.amplification_given && !o.full_scale &&
        !amplification_understood(b.row->multiplier.c_str(), &amplification)) {
        fclose(in);
        return failed("Phrase %d: the manifest's multiplier %s is not understood\n",
                      b.phrase->number, b.row->multiplier.c_str());
    }
    implant_job job{&wav, b.waveblock_size, b.samplerate_in, b.row->rate, !o.full_scale,
                    amplification, region, length, o.order, usable_processors(), nullptr,
                    nullptr, nullptr};
    implant_report report;
    snd_status status = implant_wav(&job, &report);
    fclose(in);
    if (status.code != snd_ok)
        return stop_for(status, b.path.c_str(), o.rom);
    int64_t changed = 0;
    for (int64_t i = 0; i < length; i++)
        changed += offset + i >= int64_t(old_rom.size()) || old_rom[size_t(offset + i)] != region[i];
    printf("%3d  %7lld of %lld bytes changed, max peak-to-peak %d, multiplier %f\n",
           b.phrase->number, static_cast<long long>(changed), static_cast<long long>(length),
           report.level.peak, static_cast<double>(report.level.multiplier));
    report_length(b.path.c_str(), b.waveblock_size, b.samplerate_in,
                  duration_of(static_cast<int>(2 * length), b.row->rate));
    return stop();
}

// The regions list with each phrase's line at its new offset and length,
// every other byte of it as it was.
static std::string regions_moved(const bank_layout &bank, const std::vector<int64_t> &offsets,
                                 const std::vector<int64_t> &lengths)
{
    const std::string text(bank.regions_text.begin(), bank.regions_text.end());
    std::string out;
    size_t at = 0;
    for (int line = 1; at <= text.size(); line++) {
        size_t end = std::min(text.find('\n', at), text.size());
        std::string l = text.substr(at, end - at);
        for (size_t i = 0; i < bank.phrases.size(); i++) {
            if (bank.phrases[i].line != line || bank.phrases[i].fault != bank_fault_none)
                continue;
            // The first two fields, offset and length, in a line that has them.
            size_t first = l.find_first_not_of(" \t");
            size_t gap = l.find_first_of(" \t", first);
            size_t second_end = l.find_first_of(" \t\r#", l.find_first_not_of(" \t", gap));
            char fields[64];
            snprintf(fields, sizeof fields, "0x%06llX %lld",
                     static_cast<unsigned long long>(offsets[i]),
                     static_cast<long long>(lengths[i]));
            l = l.substr(0, first) + fields + (second_end == std::string::npos ? "" : l.substr(second_end));
        }
        out += l + (end < text.size() ? "\n" : "");
        at = end + 1;
    }
    return out;
}

static std::string resized_name(const char *regions)
{
    std::string name = regions;
    size_t slash = name.find_last_of("/\\");
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return name + "-resized";
    return name.substr(0, dot) + "-resized" + name.substr(dot);
}

stop run_implant(const bank_options &o)
{
    bank_layout bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    const std::string manifest_path = std::string(o.dir) + "/" + manifest_name;
    manifest m;
    std::string why;
    if (!read_manifest(manifest_path, &m, &why))
        return nothing_changed(why);
    if (stop refusal = check_manifest(bank, o, m))
        return refusal;
    if (!o.dry_run)
        if (stop refusal = check_replaceable(o.rom))
            return refusal;
    print_faults(bank, o);

    std::vector<put_back> backs(bank.phrases.size());
    int changes = 0;
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        backs[i].phrase = &p;
        if (p.fault != bank_fault_none || p.alias)
            continue;
        backs[i].row = row_of(&m, p.number);
        backs[i].path = std::string(o.dir) + "/" + backs[i].row->file;
        if (stop refusal = look_at(&backs[i], o))
            return refusal;
        changes += backs[i].changed;
    }
    if (changes == 0) {
        printf("Nothing to put back: every WAV file in %s is as it was extracted\n", o.dir);
        return stop();
    }

    // The new layout: with --resize every phrase the length its sound needs.
    std::vector<int64_t> lengths(bank.phrases.size()), offsets;
    for (size_t i = 0; i < bank.phrases.size(); i++)
        lengths[i] = o.resize && backs[i].changed ? backs[i].needed : bank.phrases[i].length;
    for (size_t i = 0; i < bank.phrases.size(); i++) // an alias: its phrase's length
        for (size_t j = 0; j < i && bank.phrases[i].alias; j++)
            if (bank.phrases[j].number == bank.phrases[i].other)
                lengths[i] = lengths[j];
    const int64_t size = int64_t(bank.rom.size());
    int64_t limit = o.regions == nullptr && o.table_offset + bank_chip_space < size
                        ? o.table_offset + bank_chip_space
                        : size;
    if (!lay_out_phrases(bank.phrases, lengths, o.resize ? limit : INT64_MAX, &offsets))
        return failed("The phrases laid out again end past %s (0x%06llX): nothing was changed\n",
                      limit < size ? "the 256 KiB the chip addresses" : "the end of the file",
                      static_cast<unsigned long long>(limit));
    if (!o.resize)
        for (size_t i = 0; i < bank.phrases.size(); i++)
            offsets[i] = bank.phrases[i].offset;

    std::vector<unsigned char> rom = bank.rom;
    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        if (p.fault != bank_fault_none || p.alias)
            continue;
        if (!backs[i].changed) {
            memcpy(rom.data() + offsets[i], bank.rom.data() + p.offset, size_t(p.length));
        } else if (stop refusal = encode_phrase(backs[i], o, rom.data() + offsets[i], lengths[i],
                                                bank.rom, offsets[i])) {
            return refusal;
        }
        if (o.resize && (offsets[i] != p.offset || lengths[i] != p.length))
            printf("%3d  now 0x%06llX to 0x%06llX, %lld bytes\n", p.number,
                   static_cast<unsigned long long>(offsets[i]),
                   static_cast<unsigned long long>(offsets[i] + lengths[i] - 1),
                   static_cast<long long>(lengths[i]));
    }
    if (o.resize && o.regions == nullptr)
        for (size_t i = 0; i < bank.phrases.size(); i++)
            if (bank.phrases[i].fault == bank_fault_none) {
                int64_t start = offsets[i] - o.table_offset;
                write_table_entry(rom.data(), o.table_offset, bank.phrases[i].number, start,
                                  start + lengths[i] - 1);
            }
    if (o.dry_run) {
        printf("A dry run: nothing was written\n");
        return stop();
    }
    std::string new_regions;
    if (o.resize && o.regions != nullptr) {
        new_regions = resized_name(o.regions);
        std::string text = regions_moved(bank, offsets, lengths);
        if (stop refusal = replace_file(new_regions.c_str(),
                                        reinterpret_cast<const unsigned char *>(text.data()),
                                        int64_t(text.size())))
            return refusal;
        printf("Wrote the regions list laid out again: %s\n", new_regions.c_str());
    }
    if (stop refusal = replace_file(o.rom, rom.data(), int64_t(rom.size())))
        return refusal;
    printf("Put %d phrase%s back into %s\n", changes, changes == 1 ? "" : "s", o.rom);

    for (size_t i = 0; i < bank.phrases.size(); i++) {
        const bank_phrase &p = bank.phrases[i];
        if (p.fault != bank_fault_none)
            continue;
        manifest_row *r = row_of(&m, p.number);
        r->offset = offsets[i];
        r->length = lengths[i];
        if (!p.alias && backs[i].changed)
            r->hash = hash_text(backs[i].hash);
    }
    for (const bank_phrase &p : bank.phrases) // an alias's file is its phrase's
        if (p.fault == bank_fault_none && p.alias)
            row_of(&m, p.number)->hash = row_of(&m, p.other)->hash;
    if (!new_regions.empty())
        m.regions = new_regions;
    return write_manifest(manifest_path, m);
}
