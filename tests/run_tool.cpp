#include "run_tool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "wav_header.h"

run_result run_tool(const std::string &program, const std::vector<std::string> &args,
                    const run_options &options)
{
    char out_name[] = "/tmp/run_tool_out_XXXXXX";
    int out_fd = mkstemp(out_name);
    if (out_fd < 0)
        throw std::runtime_error("mkstemp failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_fd, 1);
        if (options.data_limit_mb > 0) {
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.data_limit_mb) << 20;
            setrlimit(RLIMIT_DATA, &limit);
        }
        if (options.uid >= 0 && (setgid(options.uid) != 0 || setuid(options.uid) != 0))
            _exit(126);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    close(out_fd);
    run_result result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = read_file(out_name);
    unlink(out_name);
    return result;
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
            std::filesystem::remove_all(dir, ignored);
        }
    }
};

std::string scratch_dir()
{
    static scratch_dirs dirs;
    char name[] = "/tmp/sndtools_test_XXXXXX";
    if (mkdtemp(name) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    dirs.made.push_back(name);
    return name;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
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
