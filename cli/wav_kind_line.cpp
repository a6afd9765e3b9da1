#include "wav_kind_line.h"

#include <cstring>

#include "cli.h"

using namespace sndtools;

std::string shell_quoted(const std::string &path)
{
    std::string p = !path.empty() && path[0] == '-' ? "./" + path : path;
    if (p.find_first_of("\"$`\\!") == std::string::npos)
        return "\"" + p + "\"";
    std::string quoted = "'";
    for (char c : p)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// sox finds the kind of its input from its first bytes, and that of its
// output from its name's extension: hence a temporary name ending in
// ".wav", renamed over the file once written. The rate stays: sndbank
// resamples. A path with a control character would break the line: none.
std::string sox_line(const std::string &path)
{
    for (char c : path)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "";
    std::string from = shell_quoted(path), to = shell_quoted(path + ".tmp.wav");
    return "; convert it with: sox " + from + " -b 16 -c 2 " + to + " && mv " + to + " " + from;
}

// Bytes of a file that need not be text: those past ASCII escaped too, so
// that no part of a character goes to the terminal.
std::string bytes_at(const unsigned char *file, int64_t from, int64_t size, int64_t most)
{
    std::string text;
    for (int64_t i = from; i < size && i < from + most; i++)
        text += file[i] < 0x80 ? std::string(1, static_cast<char>(file[i]))
                               : formatted("\\x%02X", file[i]);
    return excerpt(text);
}

std::string not_riff(const std::string &path, const unsigned char *file, int64_t size)
{
    const char *kind = file_kind_of(file, size);
    if (kind == nullptr)
        return path + " is no WAV file: it starts with " + bytes_at(file, 0, size, 12) +
               (size > 12 ? "..." : "");
    std::string line = path + " is " + kind + ", not a WAV file";
    bool convertible = size > 0 && strcmp(kind, "an RF64 file") != 0;
    return convertible ? line + sox_line(path) : line;
}

std::string compressed(const std::string &path, const wav_sound &sound)
{
    const char *name = wav_format_name(sound.format_tag);
    std::string format = formatted("(format 0x%04X%s)", sound.format_tag & 0xFFFFu,
                                   sound.extensible ? " in the extensible format" : "");
    if (name == nullptr)
        return path + " holds samples of a format sndbank does not read " + format;
    return path + " holds " + name + " samples " + format + sox_line(path);
}

std::string odd_bits(const std::string &path, const wav_sound &sound)
{
    std::string kind = sound.format_tag == 3 ? "floating-point" : "integer";
    std::string holds = path + " holds " + std::to_string(sound.bits) + "-bit " + kind +
                        " samples";
    int b = sound.bits;
    bool bits_known = sound.format_tag == 1 ? b == 8 || b == 16 || b == 24 || b == 32
                                            : b == 32 || b == 64;
    if (bits_known) // the block size is wrong
        return holds + " in blocks of " + std::to_string(sound.block_align) + " bytes, not " +
               std::to_string(sound.channels * b / 8) + ": it cannot be read";
    return holds + "; sndbank takes 8, 16, 24 or 32-bit integer or 32 or 64-bit "
                   "floating-point ones" + sox_line(path);
}

std::string kind_text(const std::string &path, wav_kind kind, const wav_sound &sound,
                      const unsigned char *file, int64_t size, int rate_hint)
{
    switch (kind) {
    case wav_kind_no_riff:
        return not_riff(path, file, size);
    case wav_kind_not_wave:
        return path + " is a RIFF file of type " + bytes_at(file, 8, size, 4) +
               ", not a WAV file";
    case wav_kind_no_format:
        return path + " is a WAV file without a whole format chunk before its data: it "
                      "cannot be read";
    case wav_kind_no_data:
        return path + " is a WAV file without a data chunk: it holds no sound";
    case wav_kind_compressed:
        return compressed(path, sound);
    case wav_kind_channels:
        return path + " holds " + std::to_string(sound.channels) +
               " channels; sndbank takes one or two" + (sound.channels > 2 ? sox_line(path) : "");
    case wav_kind_bits:
        return odd_bits(path, sound);
    default:
        return path + " gives no rate it can be played at; the phrase plays at " +
               std::to_string(rate_hint) + " Hz";
    }
}

} // namespace

std::string wav_kind_line(const char *path, wav_kind kind, const wav_sound &sound,
                          const unsigned char *file, int64_t size, int rate_hint)
{
    return kind_text(path, kind, sound, file, size, rate_hint) + "\n";
}
