#include "run_tool.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "files.h"
#include "wav.h"

using namespace sndtools;

std::vector<std::string> tool_command(const std::string &program)
{
    std::vector<std::string> command;
    std::string launcher = SNDTOOLS_LAUNCHER; // its words joined by '|'
    for (size_t at = 0; !launcher.empty() && at <= launcher.size();) {
        size_t end = launcher.find('|', at);
        if (end == std::string::npos)
            end = launcher.size();
        command.push_back(launcher.substr(at, end - at));
        at = end + 1;
    }
    command.push_back(program);
    return command;
}

std::string last_line(const std::string &out)
{
    size_t at = out.size() < 2 ? std::string::npos : out.rfind('\n', out.size() - 2);
    return at == std::string::npos ? out : out.substr(at + 1);
}

std::string line_before_last(const std::string &out)
{
    std::string last = last_line(out);
    return last.size() < out.size() ? last_line(out.substr(0, out.size() - last.size())) : "";
}

std::string replace_all(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string echo_of(const std::string &program, const std::vector<std::string> &args)
{
    std::string text = "argv[0] = " + program + "\n";
    for (size_t i = 0; i < args.size(); i++)
        text += "argv[" + std::to_string(i + 1) + "] = " + args[i] + "\n";
    return text + "\n";
}

// Removes every scratch directory when the test program ends.
struct scratch_dirs {
    std::vector<std::string> made;
    ~scratch_dirs()
    {
        for (const std::string &dir : made) {
            std::error_code ignored;
            std::filesystem::remove_all(path_of(dir.c_str()), ignored);
        }
    }
};

std::string scratch_dir()
{
    static scratch_dirs dirs;
    static std::mt19937_64 names{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int tries = 0; tries < 100; tries++) {
        std::filesystem::path dir = base / ("sndtools_test_" + std::to_string(names()));
        if (std::filesystem::create_directory(dir)) {
            dirs.made.push_back(dir.u8string());
            return dir.u8string();
        }
    }
    throw std::runtime_error("no new scratch directory under " + base.string());
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path_of(path.c_str()), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path_of(path.c_str()), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::exists(path_of(path.c_str()), ignored);
}

std::string wav_file(const std::vector<std::pair<int, int>> &frames, int rate)
{
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(frames.size()), rate);
    std::string bytes(reinterpret_cast<char *>(hdr), wav_header_size);
    for (const auto &f : frames) {
        for (int v : {f.first, f.second}) {
            bytes += static_cast<char>(v & 0xFF);
            bytes += static_cast<char>((v >> 8) & 0xFF);
        }
    }
    return bytes + '\0';
}

std::string halved(const std::string &wav)
{
    std::string out = wav;
    for (size_t i = 44; i + 2 < out.size(); i += 2) {
        const int v = int16_t(uint8_t(out[i]) | uint8_t(out[i + 1]) << 8) / 2;
        out[i] = char(v), out[i + 1] = char(v >> 8);
    }
    return out;
}

void halve(const std::string &path)
{
    write_file(path, halved(read_file(path)));
}

std::string manifest_field(const std::string &dir, int number, int column)
{
    const std::string m = read_file(dir + "/bank.tsv"), row = "\n" + std::to_string(number) + "\t";
    size_t at = m.find(row) + 1;
    for (int c = 0; c < column; c++)
        at = m.find('\t', at) + 1;
    return m.substr(at, m.find_first_of("\t\n", at) - at);
}
