// sndbank list: one line per phrase, then the bytes no phrase covers.
#include <cstdio>
#include <cstdlib>

#include "sndbank.h"

using namespace sndtools;

// The largest magnitude of the 12-bit samples a region decodes to, a piece
// at a time.
static int32_t peak_of(const unsigned char *region, int64_t length, nibble_order order)
{
    int32_t samples[2 * 4096], peak = 0;
    ad_state state{0, 0};
    for (int64_t at = 0; at < length; at += 4096) {
        int64_t n = length - at < 4096 ? length - at : 4096;
        decode_region(&state, region + at, n, order, samples);
        for (int64_t i = 0; i < 2 * n; i++)
            peak = abs(samples[i]) > peak ? abs(samples[i]) : peak;
    }
    return peak;
}

stop run_list(const bank_options &o)
{
    bank_layout bank;
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
               peak_of(bank.rom.data() + p.offset, p.length, o.order));
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
