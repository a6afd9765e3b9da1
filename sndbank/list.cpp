// sndbank list: one line per phrase, then the bytes no phrase covers.
#include <cstdio>

#include "sndbank.h"

using namespace sndtools;

stop run_list(const bank_options &o)
{
    loaded_bank bank;
    if (stop refusal = load_bank(o, &bank))
        return refusal;
    print_hints(o, bank);
    printf("%3s  %-8s  %-8s  %7s  %8s  %4s\n", "#", "first", "last", "bytes", "seconds", "peak");
    for (const bank_phrase &p : bank.phrases) {
        if (p.fault != bank_fault_none) {
            fputs(fault_line(bank, o, p).c_str(), stdout);
            continue;
        }
        double seconds = 2.0 * static_cast<double>(p.length) / adpcm_rate_of(o, p);
        printf("%3d  0x%06llX  0x%06llX  %7lld  %8.3f  %4d", p.number,
               static_cast<unsigned long long>(p.offset),
               static_cast<unsigned long long>(p.offset + p.length - 1),
               static_cast<long long>(p.length), seconds,
               decoded_peak(bank.rom.data() + p.offset, p.length, o.order));
        if (p.alias)
            printf("  same as %d", p.other);
        else if (p.inside)
            printf("  inside %d", p.other);
        printf("\n");
    }
    const int64_t from = space_from(o), to = space_to(o, bank);
    printf("%lld bytes of 0x%06llX to 0x%06llX are in no phrase\n",
           static_cast<long long>(uncovered_bytes(bank.phrases, from, to)),
           static_cast<unsigned long long>(from),
           static_cast<unsigned long long>(to > from ? to - 1 : from));
    return stop();
}
