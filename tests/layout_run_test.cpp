// Whole runs of sndbank list and extract on ROMs laid out as boards map
// them: each phrase once, under its bank's number, at its file offsets;
// its WAV file as sndextract writes its bytes; a ROM in two files read as
// the one; and the hint that a plain table's ROM may be banked.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bank.h"
#include "layout_roms.h"
#include "run_tool.h"

namespace {

const std::string bank = SNDBANK_PATH;
const std::string extract = SNDEXTRACT_PATH;

std::string hex(int64_t n)
{
    char text[32];
    snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(n));
    return text;
}

// list's number column: eight wide where phrases are seen through banks.
std::string column(const std::string &label, bool banked)
{
    const size_t width = banked ? 8 : 3;
    return std::string(width > label.size() ? width - label.size() : 0, ' ') + label;
}

// The entry's own number as list gives it: "b3-100" for entry 100 seen
// through bank 3.
std::string own_label(const placed_entry &e)
{
    if (e.label[0] != 'b')
        return std::to_string(e.number);
    char text[32];
    snprintf(text, sizeof text, "%.*s%03d", int(std::string(e.label).find('-') + 1), e.label,
             e.number);
    return text;
}

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST(LayoutRun, ListExtractAndSplitFiles)
{
    for (const layout_case &c : layout_cases()) {
        const std::string what = std::string(c.layout) + (c.unpaged ? " unpaged" : "");
        const bool banked = std::string(c.layout) != "tt5665";
        const std::string d = scratch_dir(), rom = layout_rom(c);
        write_file(d + "/rom.bin", rom);
        const size_t split = size_t(c.size / 2 + 0x123); // not on a page's edge
        write_file(d + "/a.bin", rom.substr(0, split));
        write_file(d + "/b.bin", rom.substr(split));
        std::vector<std::string> layout{"--layout", c.layout};
        if (c.unpaged)
            layout.push_back("--no-paged-table");
        auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin() + 1, layout.begin(), layout.end());
            return run_tool(bank, args);
        };
        const run_result listed = run({"list", d + "/rom.bin"});
        EXPECT_EQ(listed.status, 0) << what;
        const std::string &out = listed.out;
        EXPECT_EQ(run({"list", "--rom", d + "/a.bin", "--rom", d + "/b.bin"}).out, out) << what;
        ASSERT_EQ(run({"extract", d + "/rom.bin", d + "/out"}).status, 0) << what << "\n" << out;
        for (const placed_entry &e : c.entries) {
            const std::string start = "\n" + column(e.label, banked) + "  ";
            if (e.offset < 0) { // in another bank's page
                EXPECT_EQ(count(out, start + "bad: chip addresses " + hex(e.start) + " to " +
                                         hex(e.start + e.length - 1) + " lie in bank "),
                          1u) << what << " " << e.label << "\n" << out;
                continue;
            }
            const std::string line = start + hex(e.offset) + "  " + hex(e.offset + e.length - 1);
            ASSERT_EQ(count(out, line), 1u) << what << " " << e.label << "\n" << out;
            const size_t at = out.find(line);
            const std::string whole = out.substr(at, out.find('\n', at + 1) - at);
            if (own_label(e) != e.label) { // another number reaching the same bytes
                EXPECT_NE(whole.find("also " + own_label(e)), std::string::npos) << what << whole;
            }
            char number[16];
            snprintf(number, sizeof number, "%03d", e.number);
            const std::string wav = d + "/out/" + (e.label[0] == 'b' ? e.label : number) + ".wav";
            ASSERT_EQ(run_tool(extract, {d + "/rom.bin", std::to_string(e.offset),
                                         std::to_string(e.length), "7575", "7575", d + "/x.wav"})
                          .status,
                      0);
            EXPECT_EQ(read_file(wav), read_file(d + "/x.wav")) << what << " " << e.label;
        }
    }
}

// A plain table whose entry reaches past the 256 KiB the chip addresses:
// in a larger file list says the ROM may be banked, in one of 256 KiB not.
TEST(LayoutRun, BankedHint)
{
    for (int64_t size : {int64_t(0x50000), int64_t(0x40000)}) {
        std::string rom(size_t(size), '\xFF');
        unsigned char *bytes = reinterpret_cast<unsigned char *>(&rom[0]);
        sndtools::write_table_entry(bytes, 0, 1, 0x400, 0x7FF);
        sndtools::write_table_entry(bytes, 0, 2, 0x3FF00, 0x40100);
        const std::string d = scratch_dir();
        write_file(d + "/rom.bin", rom);
        const std::string out = run_tool(bank, {"list", d + "/rom.bin"}).out;
        EXPECT_EQ(count(out, "may be banked; try --layout"), size > 0x40000 ? 1u : 0u) << out;
    }
}

} // namespace
