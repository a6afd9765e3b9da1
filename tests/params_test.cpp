// Number parsing, little-endian fields, the hex dump and the WAV header.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fields.h"
#include "numbers.h"
#include "reference.h"
#include "utf8.h"
#include "wav.h"

using namespace sndtools;

namespace {

struct number_case {
    const char *text;
    bool hex;
    int64_t most;
    bool understood;
    int64_t value;
};

// The one grammar: the command lines' (hex, below 2^32, read back as 32
// bits), the regions list's and manifest's (below 2^31), a manifest's
// phrase number (decimal only).
TEST(Numbers, Table)
{
    const int64_t line = UINT32_MAX, list = INT32_MAX;
    const number_case cases[] = {
        {"", true, line, false, 0},
        {"0x", true, line, false, 0},
        {"0", true, line, true, 0},
        {"0x1F", true, line, true, 31},
        {"0x1f", true, line, true, 31},
        {"31", true, line, true, 31},
        {"0X1F", true, line, false, 0},
        {"12a", true, line, false, 0},
        {"0x1G", true, line, false, 0},
        {"-5", true, line, false, 0},
        {" 5", true, line, false, 0},
        {"5 ", true, line, false, 0},
        {"1.5", true, line, false, 0},
        {"\xff", true, line, false, 0},
        {"4294967295", true, line, true, 4294967295},
        {"0xFFFFFFFF", true, line, true, 4294967295},
        {"2147483648", true, line, true, 2147483648},
        {"0x80000000", true, line, true, 2147483648},
        {"4294967296", true, line, false, 0},
        {"0x100000000", true, line, false, 0},
        {"99999999999999999999999", true, line, false, 0},
        {"0x0000000000000010", true, line, true, 16},
        {"010", true, list, true, 10}, // no octal: a manifest's "010" was eight once
        {"2147483647", true, list, true, INT32_MAX},
        {"0x80000000", true, list, false, 0},
        {"0x10", false, list, false, 0},
        {"010", false, list, true, 10},
    };
    for (const number_case &c : cases) {
        int64_t value = -7;
        EXPECT_EQ(read_number(c.text, int64_t(strlen(c.text)), c.hex, c.most, &value), c.understood)
            << c.text;
        EXPECT_EQ(value, c.understood ? c.value : -7) << c.text;
        int as_typed = -7;
        if (c.hex && c.most == line) {
            EXPECT_EQ(number_understood(c.text, &as_typed) ? as_typed : -7,
                      c.understood ? static_cast<int>(static_cast<uint32_t>(c.value)) : -7)
                << c.text;
        }
    }
}

struct grab_case {
    std::vector<unsigned char> bytes;
    int len;
    int value;
};

TEST(Fields, GrabTable)
{
    const grab_case cases[] = {
        {{0x10, 0, 0, 0}, 4, 16},
        {{0xFF, 0xFF}, 2, -1},
        {{0x00, 0x80}, 2, -32768},
        {{0xFF, 0x7F}, 2, 32767},
        {{0xFF}, 1, 255},
        {{0xFF, 0xFF, 0xFF}, 3, 16777215},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 4, -1},
        {{0x44, 0xAC, 0, 0}, 4, 44100},
        {{0x12, 0x34}, 0, 0},
        {{0x12, 0x34}, -3, 0},
        {{1, 2, 3, 4, 5, 6}, 6, 0x04030201},
    };
    for (const grab_case &c : cases)
        EXPECT_EQ(grab_intval(c.bytes.data(), c.len), c.value) << c.len;
}

struct implant_case {
    int value, len;
    std::vector<unsigned char> bytes; // of a 6-byte field that starts as 0xAA
};

TEST(Fields, ImplantTable)
{
    const implant_case cases[] = {
        {-1, 2, {0xFF, 0xFF, 0xAA, 0xAA, 0xAA, 0xAA}},
        {44100, 4, {0x44, 0xAC, 0, 0, 0xAA, 0xAA}},
        {70000, 2, {0x70, 0x11, 0xAA, 0xAA, 0xAA, 0xAA}},
        {40000, 2, {0x40, 0x9C, 0xAA, 0xAA, 0xAA, 0xAA}},
        {5, 0, {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}},
        {5, -1, {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}},
        {-2, 6, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {2, 6, {0x02, 0, 0, 0, 0, 0}},
    };
    for (const implant_case &c : cases) {
        std::vector<unsigned char> field(6, 0xAA);
        implant_intval(field.data(), c.value, c.len);
        EXPECT_EQ(field, c.bytes) << c.value << " " << c.len;
    }
}

TEST(Fields, RoundTrip)
{
    unsigned char field[4];
    for (int v = -32768; v <= 32767; v++) {
        implant_intval(field, v, 2);
        ASSERT_EQ(grab_intval(field, 2), v);
    }
    for (int v : {INT32_MIN, -1, 0, 1, 44100, INT32_MAX}) {
        implant_intval(field, v, 4);
        ASSERT_EQ(grab_intval(field, 4), v);
    }
}

std::string hexdump_text(const unsigned char *data, int count)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    hexdump(data, count);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(Hexdump, Lines)
{
    std::vector<unsigned char> data(65536 + 32);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<unsigned char>(i);
    const std::string line0 =
        "0000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n";
    EXPECT_EQ(hexdump_text(data.data(), 0), "");
    EXPECT_EQ(hexdump_text(data.data(), -5), "");
    EXPECT_EQ(hexdump_text(data.data(), 1), line0);
    EXPECT_EQ(hexdump_text(data.data(), 17),
              line0 + "0010: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F \n");
    std::string big = hexdump_text(data.data(), 65536 + 1);
    EXPECT_EQ(big.substr(big.size() - 56), "10000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n");
}

std::vector<unsigned char> good_header()
{
    std::vector<unsigned char> hdr(wav_header_size);
    fill_wav_header(hdr.data(), 1000, 8000);
    return hdr;
}

TEST(WavHeader, WrittenFields)
{
    std::vector<unsigned char> hdr = good_header();
    const unsigned char expected[44] = {
        'R', 'I', 'F', 'F', 0xC5, 0x0F, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16,  0,   0,   0,   1,    0,    2, 0, 0x40, 0x1F, 0, 0, 0x00, 0x7D, 0, 0,
        4,   0,   16,  0,   'd',  'a',  't', 'a', 0xA0, 0x0F, 0, 0};
    EXPECT_EQ(hdr, std::vector<unsigned char>(expected, expected + 44));
    EXPECT_EQ(check_wav_header(hdr.data(), 44), wav_ok);
    EXPECT_EQ(wav_sample_rate(hdr.data()), 8000);
    EXPECT_EQ(wav_data_size(hdr.data()), 4000);
}

struct header_case {
    const char *name;
    int at;
    std::vector<unsigned char> bytes;
    wav_check outcome;
};

TEST(WavHeader, RefusalsInCheckOrder)
{
    const header_case cases[] = {
        {"RIFX", 0, {'R', 'I', 'F', 'X'}, wav_not_riff},
        {"lower-case riff", 0, {'r', 'i', 'f', 'f'}, wav_not_riff},
        {"not WAVE", 8, {'A', 'V', 'I', ' '}, wav_not_riff},
        {"no fmt", 12, {'L', 'I', 'S', 'T'}, wav_not_riff},
        {"fact chunk before data", 36, {'f', 'a', 'c', 't'}, wav_not_riff},
        {"tags before length", 16, {18, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0, 0, 0, 0,
                                    4, 0, 16, 0, 0, 0, 'd', 'a'},
         wav_not_riff},
        {"fmt length 20", 16, {20, 0, 0, 0}, wav_bad_fmt},
        {"float samples", 20, {3, 0}, wav_not_pcm},
        {"extensible", 20, {0xFE, 0xFF}, wav_not_pcm},
        {"8-bit", 34, {8, 0}, wav_not_16bit},
        {"24-bit mono: bits first", 22, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 24, 0},
         wav_not_16bit},
        {"mono", 22, {1, 0}, wav_not_stereo},
        {"odd riff size, byte rate, block align", 4, {1, 2, 3, 4}, wav_ok},
        {"odd byte rate", 28, {9, 9, 9, 9, 7, 0}, wav_ok},
    };
    for (const header_case &c : cases) {
        std::vector<unsigned char> hdr = good_header();
        std::copy(c.bytes.begin(), c.bytes.end(), hdr.begin() + c.at);
        EXPECT_EQ(check_wav_header(hdr.data(), 44), c.outcome) << c.name;
    }
}

} // namespace

namespace {

// Windows names in and out of UTF-8: every UTF-16 name comes back as it
// was, unpaired surrogates included; bytes that are no UTF-8 become U+FFFD.
TEST(Utf8, NamesComeBackAsTheyWere)
{
    const struct {
        std::u16string utf16;
        std::string utf8;
    } cases[] = {
        {u"plain.bin", "plain.bin"},
        {u"caf\u00e9", "caf\xC3\xA9"},
        {u"\u30b5\u30a6\u30f3\u30c9", "\xE3\x82\xB5\xE3\x82\xA6\xE3\x83\xB3\xE3\x83\x89"},
        {u"\U0001F3B5 x", "\xF0\x9F\x8E\xB5 x"},
        {std::u16string(1, char16_t(0xD83C)) + u"a", "\xED\xA0\xBC" "a"}, // high surrogate alone
        {std::u16string(1, char16_t(0xDFB5)), "\xED\xBE\xB5"},            // low surrogate alone
    };
    for (const auto &c : cases) {
        EXPECT_EQ(utf8_of(c.utf16), c.utf8);
        EXPECT_TRUE(utf16_of(c.utf8) == c.utf16) << c.utf8;
    }
    const std::u16string replaced(1, char16_t(0xFFFD));
    for (const char *bad : {"\xFF", "\xC3", "\xC0\xAF", "\xF4\x90\x80\x80"})
        EXPECT_TRUE(utf16_of(bad)[0] == replaced[0]) << bad;
    // Read in pieces, a character cut at the end waits for the rest.
    const std::string music = "a\xF0\x9F\x8E\xB5";
    for (size_t cut = 0; cut <= music.size(); cut++)
        EXPECT_EQ(utf8_whole_length(music.substr(0, cut)), cut == 5 || cut < 2 ? cut : 1) << cut;
}

} // namespace
