// What the phrase table and the nibble order given look like: a table that
// does not look like one is named with the offsets where plausible ones
// lie; a rival reading of the same bytes that explains the ROM clearly
// better, or a nibble order that decodes clearly cleaner, gets a line.
#include <cstdio>

#include "sndbank.h"
#include "table_scan.h"

using namespace sndtools;

// Offsets where plausible tables lie, best first: those a user may try.
static const size_t offsets_offered = 3;

stop refuse_implausible_table(const bank_options &o, const loaded_bank &bank)
{
    if (o.regions != nullptr || banked(o)) // the judgement knows the plain table alone
        return stop();
    const table_judgement j = judge_table(bank.phrases, o.table_offset);
    if (!table_implausible(j))
        return stop();
    std::string line = "The phrase table at " + hex_address(o.table_offset) + " of " + o.rom +
                       " does not look like one (" +
                       plural(j.usable, "usable phrase", "usable phrases") + ", " +
                       plural(j.bad, "bad entry", "bad entries") + "): ";
    const std::vector<table_judgement> found =
        scan_tables(bank.rom.data(), int64_t(bank.rom.size()), offsets_offered);
    if (found.empty())
        return failed("%sno plausible table was found in it; try --regions FILE\n", line.c_str());
    line += "try";
    for (size_t i = 0; i < found.size(); i++)
        line += std::string(i == 0 ? " " : ", ") + "--table-offset " +
                hex_address(found[i].offset);
    return failed("%s, or --regions FILE\n", line.c_str());
}

// Why a rival explains the ROM better, in the words of its judgement.
static std::string better_because(const table_judgement &r, const table_judgement &given)
{
    std::string why;
    if (r.starts_after)
        why = "its phrases start right after it";
    if (r.follows && r.usable > 1)
        why += why.empty() ? "its phrases follow one another" : " and follow one another";
    if (r.covered > given.covered)
        why += (why.empty() ? "" : "; ") + std::to_string(r.covered - given.covered) +
               " more bytes in phrases";
    if (r.bad < given.bad)
        why += (why.empty() ? "" : "; ") + plural(given.bad - r.bad, "bad entry", "bad entries") +
               " fewer";
    return why;
}

// The plain table's hints; false when it does not look like one (no sound
// to judge then).
static bool print_table_hints(const bank_options &o, const loaded_bank &bank)
{
    if (stop implausible = refuse_implausible_table(o, bank)) {
        fputs(implausible.lines.c_str(), stdout);
        return false;
    }
    const table_judgement given = judge_table(bank.phrases, o.table_offset);
    table_judgement rival;
    if (better_table_near(bank.rom.data(), int64_t(bank.rom.size()), given, &rival))
        printf("The phrase table at %s explains %s better: %s; give --table-offset %s\n",
               hex_address(rival.offset).c_str(), o.rom, better_because(rival, given).c_str(),
               hex_address(rival.offset).c_str());
    return true;
}

// Entries past the 256 KiB the chip addresses in a larger file: most often
// a board that switches banks.
static void print_layout_hint(const bank_options &o, const loaded_bank &bank)
{
    if (int64_t(bank.rom.size()) <= bank_chip_space)
        return;
    for (const bank_phrase &p : bank.phrases)
        if (p.fault == bank_fault_past_space) {
            printf("Entries point past the 256 KiB the chip addresses, and %s is larger: the ROM "
                   "may be banked; try --layout (man sndbank names the layouts)\n", o.rom);
            return;
        }
}

void print_hints(const bank_options &o, const loaded_bank &bank)
{
    if (o.regions == nullptr && !banked(o)) {
        if (!print_table_hints(o, bank))
            return;
        print_layout_hint(o, bank);
    }
    if (!other_order_cleaner(bank.rom.data(), bank.phrases, o.order))
        return;
    const bool low = o.order == low_nibble_first;
    printf("The phrases of %s decode far cleaner with the %s nibble first: %s "
           "--low-nibble-first\n", o.rom, low ? "high" : "low", low ? "drop" : "give");
}
