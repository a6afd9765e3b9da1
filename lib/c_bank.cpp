// The public C interface to the bank functions: phrases in the caller's
// arrays.
#include "sndtools.h"

#include <algorithm>
#include <vector>

#include "bank.h"
#include "c_api.h"

namespace sndtools {
namespace {

static_assert(SNDTOOLS_FAULT_SAME_NAME == bank_fault_same_name, "the same fault numbers");

int give_phrases(const std::vector<bank_phrase> &found, sndtools_phrase *phrases,
                 int64_t max_phrases, int64_t *count)
{
    if (count == nullptr || (phrases == nullptr && max_phrases > 0))
        return SNDTOOLS_ERROR_NULL_POINTER;
    *count = static_cast<int64_t>(found.size());
    if (*count > max_phrases)
        return SNDTOOLS_ERROR_TOO_MANY_PHRASES;
    std::copy(found.begin(), found.end(), phrases);
    return SNDTOOLS_OK;
}

} // namespace
} // namespace sndtools

using namespace sndtools;

extern "C" {

int sndtools_read_table(const unsigned char *rom, int64_t rom_size, int64_t table_offset,
                        sndtools_phrase *phrases, int64_t max_phrases, int64_t *count)
{
    if (rom == nullptr && rom_size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    return guarded([&] {
        std::vector<bank_phrase> found;
        if (!read_phrase_table(rom, rom_size, table_offset, &found))
            return SNDTOOLS_ERROR_NO_TABLE;
        return give_phrases(found, phrases, max_phrases, count);
    });
}

int sndtools_read_regions(const char *text, int64_t size, int64_t rom_size,
                          sndtools_phrase *phrases, int64_t max_phrases, int64_t *count)
{
    if (text == nullptr && size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (size < 0 || rom_size < 0)
        return SNDTOOLS_ERROR_COUNT;
    return guarded([&] {
        std::vector<bank_phrase> found;
        parse_regions(text, size, rom_size, &found);
        return give_phrases(found, phrases, max_phrases, count);
    });
}

int sndtools_lay_out(const sndtools_phrase *phrases, int64_t count, const int64_t *new_lengths,
                     int64_t limit, int64_t *new_offsets)
{
    if (count < 0)
        return SNDTOOLS_ERROR_COUNT;
    if (count > 0 && (phrases == nullptr || new_lengths == nullptr || new_offsets == nullptr))
        return SNDTOOLS_ERROR_NULL_POINTER;
    for (int64_t i = 0; i < count; i++)
        if (new_lengths[i] < 0)
            return SNDTOOLS_ERROR_LENGTH;
    return guarded([&] {
        std::vector<bank_phrase> core(phrases, phrases + count);
        std::vector<phrase_wish> wishes;
        for (int64_t i = 0; i < count; i++)
            wishes.push_back(phrase_wish{new_lengths[i], false});
        std::vector<phrase_place> places;
        bool fits = lay_out_phrases(core, wishes, limit, &places);
        for (int64_t i = 0; i < count; i++)
            new_offsets[i] = places[size_t(i)].offset;
        return fits ? SNDTOOLS_OK : SNDTOOLS_ERROR_LAYOUT;
    });
}

int sndtools_write_table_entry(unsigned char *table, int64_t table_size, int32_t number,
                               int64_t start, int64_t end)
{
    if (table == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (number < 1 || number >= bank_table_entries || table_size < 8 * (number + 1) ||
        start < 0 || end < 0 || start >= (1 << 24) || end >= (1 << 24))
        return SNDTOOLS_ERROR_COUNT;
    write_table_entry(table, 0, number, start, end);
    return SNDTOOLS_OK;
}

} // extern "C"
