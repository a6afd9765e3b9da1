// sndbank implant's layout: phrases that share bytes, where every phrase
// lies afterwards, and the new ROM and regions list built from that.
#include <algorithm>
#include <cstring>
#include <map>

#include "put_back.h"

using namespace sndtools;

// Whether inner's new bytes are what outer's new bytes hold at its place.
static bool same_new_bytes(const bank_phrase &outer, const phrase_work &o_work,
                           const bank_phrase &inner, const phrase_work &i_work)
{
    size_t at = size_t(inner.offset - outer.offset);
    return at + i_work.bytes.size() <= o_work.bytes.size() &&
           std::equal(i_work.bytes.begin(), i_work.bytes.end(), o_work.bytes.begin() + int64_t(at));
}

stop settle_shared_bytes(const loaded_bank &bank, const bank_options &o, put_back_plan *plan)
{
    const std::vector<bank_phrase> &phrases = bank.phrases;
    std::vector<size_t> edited;
    for (size_t i = 0; i < phrases.size(); i++)
        if (plan->work[i].edited)
            edited.push_back(i);
    std::sort(edited.begin(), edited.end(), [&](size_t a, size_t b) {
        if (phrases[a].offset != phrases[b].offset)
            return phrases[a].offset < phrases[b].offset;
        return phrases[a].length > phrases[b].length;
    });
    // Phrases nest or keep apart: the edited ones that hold the one at hand
    // are those still open when it starts. Where one's new bytes would
    // overwrite another edit's, the inner one must have a place of its own.
    std::vector<size_t> open;
    for (size_t i : edited) {
        const bank_phrase &p = phrases[i];
        phrase_work &w = plan->work[i];
        while (!open.empty() &&
               phrases[open.back()].offset + phrases[open.back()].length <= p.offset)
            open.pop_back();
        for (size_t q : open) {
            const bank_phrase &outer = phrases[q];
            const phrase_work &ow = plan->work[q];
            if ((!w.writes && !ow.writes) || same_new_bytes(outer, ow, p, w))
                continue;
            const std::string a = phrase_label(outer), b = phrase_label(p);
            if (entry_shared(bank, p))
                return failed("Phrases %s and %s were both edited and %s lies inside %s, so "
                              "their new bytes would land on each other, and every bank reads "
                              "%s's entry, so it cannot move: leave one of the two as it was "
                              "extracted; nothing was changed\n", a.c_str(), b.c_str(),
                              b.c_str(), a.c_str(), b.c_str());
            if (!may_resize(bank, o, p))
                return failed("Phrases %s and %s were both edited and %s lies inside %s, so "
                              "their new bytes would land on each other: give --resize to give "
                              "phrase %s a place of its own, or leave one of the two as it was "
                              "extracted; nothing was changed\n", a.c_str(), b.c_str(),
                              b.c_str(), a.c_str(), b.c_str());
            w.own_place = w.writes = true;
        }
        open.push_back(i);
    }
    return stop();
}

// A list says nothing of the bytes between its phrases (a game's code,
// say): there only runs of the fill byte, of 16 bytes or more, are free.
static std::vector<byte_span> not_free_in_list(const loaded_bank &bank, const bank_options &o,
                                               unsigned char fill)
{
    std::vector<byte_span> taken;
    if (o.regions == nullptr)
        return taken;
    const int64_t from = space_from(o), to = space_to(o, bank), least_run = 16;
    int64_t run_start = from, not_fill_from = from;
    for (int64_t at = from; at <= to; at++) {
        if (at < to && bank.rom[size_t(at)] == fill)
            continue;
        if (at - run_start >= least_run) { // a long run ends here
            taken.push_back(byte_span{not_fill_from, run_start});
            not_fill_from = at;
        }
        run_start = at + 1;
    }
    taken.push_back(byte_span{not_fill_from, to});
    return taken;
}

bool entry_shared(const loaded_bank &bank, const bank_phrase &p)
{
    const bank_view *v = view_of(bank.views, p);
    return v != nullptr && v->shared_entry;
}

bool may_resize(const loaded_bank &bank, const bank_options &o, const bank_phrase &p)
{
    return o.resize != resize_none && !entry_shared(bank, p);
}

byte_span phrase_area(const loaded_bank &bank, const bank_options &o, const bank_phrase &p)
{
    if (!banked(o))
        return byte_span{space_from(o), space_to(o, bank)};
    const bank_view *v = view_of(bank.views, p);
    if (v == nullptr)
        return byte_span{0, 0};
    // The view's own addresses past its table, where its one area maps them.
    const int64_t first = v->own_from + v->table_size, end = std::min(v->own_to, v->space);
    for (const address_area &a : v->areas) {
        const int64_t from = std::max(first, a.from), to = std::min(end, a.to);
        if (from < to)
            return byte_span{a.at + from - a.from,
                             std::min(int64_t(bank.rom.size()), a.at + to - a.from)};
    }
    return byte_span{0, 0};
}

std::string area_name(const loaded_bank &bank, const bank_options &o, const bank_phrase &p)
{
    if (p.bank >= 0)
        return "bank " + std::to_string(p.bank) + " of " + o.rom;
    return bank.views.size() > 1 ? std::string("the fixed area of ") + o.rom : o.rom;
}

std::vector<phrase_place> places_as_they_are(const loaded_bank &bank)
{
    std::vector<phrase_place> places;
    for (const bank_phrase &p : bank.phrases)
        places.push_back(phrase_place{p.offset, p.length});
    return places;
}

// For each phrase the index of the one whose bytes it reaches as an alias
// (its own for the others).
static std::vector<size_t> firsts_of(const std::vector<bank_phrase> &phrases)
{
    std::map<std::pair<int32_t, int>, size_t> index; // by bank and number
    for (size_t i = 0; i < phrases.size(); i++)
        index.insert({{phrases[i].bank, phrases[i].number}, i});
    std::vector<size_t> first(phrases.size());
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        auto f = p.alias ? index.find({p.other_bank, p.other}) : index.end();
        first[i] = f != index.end() ? f->second : i;
    }
    return first;
}

// Each view's phrases placed within its own area, around every other
// view's (those placed already where they now lie); a phrase that another
// view reaches too takes the place decided for it, so that every entry
// that reaches it is rewritten.
static stop place_in_views(const loaded_bank &bank, const bank_options &o,
                           const std::vector<phrase_wish> &wishes, put_back_plan *plan)
{
    const std::vector<bank_phrase> &phrases = bank.phrases;
    const int64_t size = int64_t(bank.rom.size());
    std::vector<const bank_view *> view_at(phrases.size());
    const std::vector<size_t> first = firsts_of(phrases);
    for (size_t i = 0; i < phrases.size(); i++)
        view_at[i] = view_of(bank.views, phrases[i]);
    for (const bank_view &v : bank.views) {
        std::vector<size_t> mine;
        bool writes = false;
        for (size_t i = 0; i < phrases.size(); i++)
            if (view_at[i] == &v) {
                mine.push_back(i);
                writes = writes || plan->work[i].writes;
            }
        if (v.shared_entry || !writes)
            continue;
        std::vector<bank_phrase> own;
        std::vector<phrase_wish> own_wishes;
        for (size_t i : mine) {
            own.push_back(phrases[i]);
            own_wishes.push_back(wishes[i]);
        }
        std::vector<byte_span> taken;
        for (size_t j = 0; j < phrases.size(); j++) {
            const phrase_place &at = plan->places[j];
            if (phrases[j].fault != bank_fault_none)
                taken.push_back(entry_span(phrases[j], size));
            else if (view_at[j] != &v && view_at[first[j]] != &v)
                taken.push_back(byte_span{at.offset, at.offset + at.length});
        }
        const byte_span area = phrase_area(bank, o, phrases[mine[0]]);
        std::vector<phrase_place> places;
        placement_failure failure{};
        if (!place_phrases(own, own_wishes, area.from, area.to, taken, &places, &failure)) {
            bank_phrase failed_one = own[0];
            failed_one.number = failure.number;
            return failed("%s ran out of room: phrase %s needs %lld bytes, and the largest free "
                          "span between 0x%06llX and 0x%06llX has %lld: shorten the sound; "
                          "nothing was changed\n", area_name(bank, o, own[0]).c_str(),
                          phrase_label(failed_one).c_str(), static_cast<long long>(failure.needed),
                          static_cast<unsigned long long>(area.from),
                          static_cast<unsigned long long>(area.to > area.from ? area.to - 1
                                                                              : area.from),
                          static_cast<long long>(failure.largest));
        }
        for (size_t k = 0; k < mine.size(); k++)
            plan->places[mine[k]] = places[k];
    }
    for (size_t i = 0; i < phrases.size(); i++)
        if (first[i] != i && view_at[first[i]] != view_at[i])
            plan->places[i] = plan->places[first[i]];
    return stop();
}

stop lay_out(const loaded_bank &bank, const bank_options &o, put_back_plan *plan)
{
    const std::vector<bank_phrase> &phrases = bank.phrases;
    std::vector<phrase_wish> wishes(phrases.size());
    for (size_t i = 0; i < phrases.size(); i++) {
        const phrase_work &w = plan->work[i];
        wishes[i] = phrase_wish{w.writes ? int64_t(w.bytes.size()) : phrases[i].length,
                                w.own_place};
    }
    if (o.resize == resize_none ||
        std::none_of(plan->work.begin(), plan->work.end(),
                     [](const phrase_work &w) { return w.writes; })) {
        plan->places = places_as_they_are(bank);
        return stop();
    }
    if (banked(o)) {
        plan->fill = fill_byte(bank.rom.data(), phrases, 0, int64_t(bank.rom.size()));
        plan->places = places_as_they_are(bank);
        if (stop refusal = place_in_views(bank, o, wishes, plan))
            return refusal;
    } else if (o.resize == resize_compact) {
        const int64_t to = space_to(o, bank);
        plan->fill = fill_byte(bank.rom.data(), phrases, space_from(o), to);
        if (!lay_out_phrases(phrases, wishes, to, &plan->places))
            return failed("The phrases laid out again end past %s (0x%06llX): nothing was "
                          "changed\n", o.regions == nullptr && to < int64_t(bank.rom.size())
                                           ? "the 256 KiB the chip addresses"
                                           : "the end of the file",
                          static_cast<unsigned long long>(to));
    } else {
        const int64_t from = space_from(o), to = space_to(o, bank);
        plan->fill = fill_byte(bank.rom.data(), phrases, from, to);
        placement_failure failure{};
        if (!place_phrases(phrases, wishes, from, to, not_free_in_list(bank, o, plan->fill), &plan->places,
                           &failure))
            return failed("Phrase %d needs %lld bytes, and the largest free span between 0x%06llX "
                          "and 0x%06llX has %lld: give --resize=compact to lay every phrase out "
                          "again, or shorten the sound; nothing was changed\n", failure.number,
                          static_cast<long long>(failure.needed),
                          static_cast<unsigned long long>(from),
                          static_cast<unsigned long long>(to > from ? to - 1 : from),
                          static_cast<long long>(failure.largest));
    }
    // An outer phrase reaches over the phrases that stay inside it: its
    // sound, then silence, encoded for the whole.
    for (size_t i = 0; i < phrases.size(); i++) {
        phrase_work &w = plan->work[i];
        if (w.writes && plan->places[i].length != int64_t(w.bytes.size()))
            if (stop refusal = encode_phrase(o, plan->places[i].length, &w))
                return refusal;
    }
    return stop();
}

// The bytes the phrases covered and no entry covers afterwards.
static void fill_left_bytes(const loaded_bank &bank, const put_back_plan &plan,
                            std::vector<unsigned char> *rom)
{
    const std::vector<bank_phrase> &phrases = bank.phrases;
    const int64_t size = int64_t(rom->size());
    std::vector<byte_span> before, after;
    for (size_t i = 0; i < phrases.size(); i++) {
        const bank_phrase &p = phrases[i];
        if (p.fault == bank_fault_none) {
            before.push_back(byte_span{p.offset, p.offset + p.length});
            after.push_back(byte_span{plan.places[i].offset,
                                      plan.places[i].offset + plan.places[i].length});
        } else {
            after.push_back(entry_span(p, size));
        }
    }
    const std::vector<byte_span> gaps = free_spans(after, 0, size);
    size_t g = 0;
    for (const byte_span &left : merged_spans(before)) {
        while (g < gaps.size() && gaps[g].to <= left.from)
            g++;
        for (size_t k = g; k < gaps.size() && gaps[k].from < left.to; k++) {
            int64_t from = std::max(left.from, gaps[k].from), to = std::min(left.to, gaps[k].to);
            memset(rom->data() + from, plan.fill, size_t(to - from));
        }
    }
}

std::vector<unsigned char> new_rom(const loaded_bank &bank, const bank_options &o,
                                   const put_back_plan &plan)
{
    const std::vector<bank_phrase> &phrases = bank.phrases;
    std::vector<unsigned char> rom = bank.rom;
    if (o.resize != resize_none)
        fill_left_bytes(bank, plan, &rom);
    // Outer phrases first, so that the new bytes of a phrase inside one that
    // stays there land on them.
    for (bool inner : {false, true})
        for (size_t i = 0; i < phrases.size(); i++) {
            const bank_phrase &p = phrases[i];
            const phrase_work &w = plan.work[i];
            const phrase_place &at = plan.places[i];
            if (p.fault != bank_fault_none || p.alias || p.inside != inner)
                continue;
            if (w.writes)
                memcpy(rom.data() + at.offset, w.bytes.data(), w.bytes.size());
            else if (at.offset != p.offset && !inner)
                memmove(rom.data() + at.offset, bank.rom.data() + p.offset, size_t(p.length));
        }
    if (o.resize != resize_none && o.regions == nullptr)
        for (size_t i = 0; i < phrases.size(); i++) {
            const bank_phrase &p = phrases[i];
            const phrase_place &at = plan.places[i];
            if (p.fault != bank_fault_none || (at.offset == p.offset && at.length == p.length))
                continue;
            // The entry as its view reads it: its own slice or copy of the table.
            const bank_view *v = banked(o) ? view_of(bank.views, p) : nullptr;
            const int64_t table_at = v != nullptr ? v->table_at : o.table_offset;
            const int64_t start = v != nullptr ? view_address(*v, at.offset) : at.offset - table_at;
            write_table_entry(rom.data(), table_at, p.number, start, start + at.length - 1);
        }
    return rom;
}

std::string regions_moved(const loaded_bank &bank, const put_back_plan &plan)
{
    const std::string text(bank.regions_text.begin(), bank.regions_text.end());
    std::vector<size_t> on_line; // the phrases without a fault, by their lines
    for (size_t i = 0; i < bank.phrases.size(); i++)
        if (bank.phrases[i].fault == bank_fault_none)
            on_line.push_back(i);
    std::string out;
    size_t at = 0, next = 0;
    for (int line = 1; at <= text.size(); line++) {
        size_t end = std::min(text.find('\n', at), text.size());
        std::string l = text.substr(at, end - at);
        if (next < on_line.size() && bank.phrases[on_line[next]].line == line) {
            const phrase_place &place = plan.places[on_line[next++]];
            // The first two fields, offset and length; the rest as it was.
            size_t first = l.find_first_not_of(" \t");
            size_t gap = l.find_first_of(" \t", first);
            size_t second_end = l.find_first_of(" \t\r#", l.find_first_not_of(" \t", gap));
            l = l.substr(0, first) + hex_address(place.offset) + " " +
                std::to_string(place.length) +
                (second_end == std::string::npos ? "" : l.substr(second_end));
        }
        out += l + (end < text.size() ? "\n" : "");
        at = end + 1;
    }
    return out;
}

// name-resized.ext beside the list, or beside the output when there is one.
std::string resized_list_name(const bank_options &o)
{
    // (npos + 1 is 0: a name without a folder.)
    const std::string list = o.regions, beside = o.output != nullptr ? o.output : o.regions;
    const std::string base = list.substr(list.find_last_of("/\\") + 1);
    const std::string dir = beside.substr(0, beside.find_last_of("/\\") + 1);
    size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0)
        dot = base.size();
    return dir + base.substr(0, dot) + "-resized" + base.substr(dot);
}
