// The public C interface to the bank functions: phrases in the caller's
// arrays.
#include "sndtools.h"

#include <algorithm>
#include <vector>

#include "bank.h"
#include "c_api.h"
#include "layouts.h"

namespace sndtools {
namespace {

static_assert(SNDTOOLS_FAULT_CROSSES == bank_fault_crosses, "the same fault numbers");

// Past it a table's offset with a bank's page added could overflow.
const int64_t largest_table_offset = int64_t(1) << 48;

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

// The caller's layout (null: the plain one), or the error that refuses it.
int layout_of(const sndtools_layout *given, rom_layout *layout)
{
    *layout = given != nullptr ? *given : rom_layout{};
    return layout_valid(*layout) ? SNDTOOLS_OK : SNDTOOLS_ERROR_OPTION;
}

// A chip address or a file offset through a layout's mapping (-1: none).
template <typename map_fn>
int map_through(const sndtools_layout *given, int64_t table_offset, int64_t *out, map_fn map)
{
    rom_layout layout;
    if (out == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (int error = layout_of(given, &layout))
        return error;
    if (table_offset < 0 || table_offset >= largest_table_offset)
        return SNDTOOLS_ERROR_COUNT;
    const int64_t mapped = map(layout);
    if (mapped < 0)
        return SNDTOOLS_ERROR_UNMAPPED;
    *out = mapped;
    return SNDTOOLS_OK;
}

} // namespace
} // namespace sndtools

using namespace sndtools;

extern "C" {

int sndtools_read_table(const unsigned char *rom, int64_t rom_size, int64_t table_offset,
                        sndtools_phrase *phrases, int64_t max_phrases, int64_t *count)
{
    return sndtools_read_layout(rom, rom_size, nullptr, table_offset, phrases, max_phrases, count);
}

int sndtools_parse_layout(const char *text, sndtools_layout *layout)
{
    if (text == nullptr || layout == nullptr)
        return SNDTOOLS_ERROR_NULL_POINTER;
    return parse_layout(text, layout) ? SNDTOOLS_OK : SNDTOOLS_ERROR_OPTION;
}

int sndtools_read_layout(const unsigned char *rom, int64_t rom_size, const sndtools_layout *layout,
                         int64_t table_offset, sndtools_phrase *phrases, int64_t max_phrases,
                         int64_t *count)
{
    rom_layout l;
    if (rom == nullptr && rom_size > 0)
        return SNDTOOLS_ERROR_NULL_POINTER;
    if (int error = layout_of(layout, &l))
        return error;
    return guarded([&] {
        std::vector<bank_view> views;
        std::vector<bank_phrase> found;
        if (!read_layout(rom, rom_size, l, table_offset, &views, &found))
            return SNDTOOLS_ERROR_NO_TABLE;
        return give_phrases(found, phrases, max_phrases, count);
    });
}

int sndtools_layout_offset(const sndtools_layout *layout, int64_t table_offset, int32_t bank,
                           int64_t address, int64_t *offset)
{
    return map_through(layout, table_offset, offset, [&](const rom_layout &l) {
        return layout_offset(l, table_offset, bank, address);
    });
}

int sndtools_layout_address(const sndtools_layout *layout, int64_t table_offset, int32_t bank,
                            int64_t offset, int64_t *address)
{
    return map_through(layout, table_offset, address, [&](const rom_layout &l) {
        return offset < 0 ? -1 : layout_address(l, table_offset, bank, offset);
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
