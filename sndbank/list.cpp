// sndbank list: one line per phrase, then the bytes no phrase covers.
#include <cstdio>
#include <map>
#include <utility>

#include "sndbank.h"

using namespace sndtools;

// The numbers that reach each phrase besides its own, by the first's bank
// and number: a banked layout lists them on its line.
typedef std::map<std::pair<int32_t, int>, std::string> also_numbers;

static also_numbers aliases_of(const loaded_bank &bank)
{
    also_numbers also;
    for (const bank_phrase &p : bank.phrases)
        if (p.fault == bank_fault_none && p.alias) {
            std::string &line = also[{p.other_bank, p.other}];
            line += (line.empty() ? "  also " : ", ") + phrase_label(p);
        }
    return also;
}

// The bytes of the file from the table (or chip address 0) on that no
// phrase covers and no view's table holds: what a banked layout leaves.
static void print_uncovered_banked(const bank_options &o, const loaded_bank &bank)
{
    std::vector<byte_span> taken;
    for (const bank_phrase *p : sound_phrases(bank.phrases))
        taken.push_back({p->offset, p->offset + p->length});
    for (const bank_view &v : bank.views)
        if (view_offset(v, v.own_from) == v.table_at)
            taken.push_back({v.table_at, v.table_at + v.table_size});
    const int64_t from = o.table_offset, to = static_cast<int64_t>(bank.rom.size());
    int64_t free_bytes = 0;
    for (const byte_span &gap : free_spans(merged_spans(taken), from, to))
        free_bytes += gap.to - gap.from;
    printf("%lld bytes of %s to %s outside the tables are in no phrase\n",
           static_cast<long long>(free_bytes), hex_address(from).c_str(),
           hex_address(to > from ? to - 1 : from).c_str());
}

stop run_list(const bank_options &o)
{
    loaded_bank bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    print_hints(o, bank);
    const int width = label_width(bank);
    const also_numbers also = aliases_of(bank);
    printf("%*s  %-8s  %-8s  %7s  %8s  %4s\n", width, "#", "first", "last", "bytes", "seconds",
           "peak");
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none) {
            fputs(fault_line(bank, o, p).c_str(), stdout);
            continue;
        }
        if (p.alias && banked(o))
            continue; // on its phrase's line
        double seconds = 2.0 * static_cast<double>(p.length) / adpcm_rate_of(o, p);
        printf("%*s  %s  %s  %7lld  %8.3f  %4d", width, phrase_label(p).c_str(),
               hex_address(p.offset).c_str(), hex_address(p.offset + p.length - 1).c_str(),
               static_cast<long long>(p.length), seconds,
               decoded_peak(bank.rom.data() + p.offset, p.length, o.order));
        if (p.alias)
            printf("  same as %d", p.other);
        else if (p.inside)
            printf("  inside %s", label_of(p.other_bank, p.other).c_str());
        const auto others = also.find({p.bank, p.number});
        if (banked(o) && others != also.end())
            fputs(others->second.c_str(), stdout);
        printf("\n");
    }
    if (banked(o)) {
        print_uncovered_banked(o, bank);
        return stop();
    }
    const int64_t from = space_from(o), to = space_to(o, bank);
    printf("%lld bytes of 0x%06llX to 0x%06llX are in no phrase\n",
           static_cast<long long>(uncovered_bytes(bank.phrases, from, to)),
           static_cast<unsigned long long>(from),
           static_cast<unsigned long long>(to > from ? to - 1 : from));
    return stop();
}
