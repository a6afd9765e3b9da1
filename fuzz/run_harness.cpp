#include "run_harness.h"

#include <setjmp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

static jmp_buf fuzz_exit_jump;
static bool fuzz_in_run = false;
static int fuzz_exit_status = 0;

// Every call of exit in the binary lands here (the link wraps it); outside a
// run it is passed on.
extern "C" [[noreturn]] void __real_exit(int status);
extern "C" [[noreturn]] void __wrap_exit(int status)
{
    if (!fuzz_in_run)
        __real_exit(status);
    fuzz_exit_status = status;
    longjmp(fuzz_exit_jump, 1);
}

int run_in_process(int (*main_fn)(int, char **), void (*release)(),
                   const std::vector<std::string> &args)
{
    static bool quiet = false;
    if (!quiet) {
        if (freopen("/dev/null", "w", stdout) == nullptr)
            abort();
        quiet = true;
    }
    std::vector<std::string> copies(args);
    std::vector<char *> argv;
    for (std::string &a : copies)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    fuzz_exit_status = -1;
    fuzz_in_run = true;
    if (setjmp(fuzz_exit_jump) == 0)
        main_fn(static_cast<int>(argv.size() - 1), argv.data());
    fuzz_in_run = false;
    release();
    return fuzz_exit_status;
}

const std::string &scratch()
{
    static std::string dir;
    if (dir.empty()) {
        struct stat st;
        std::string base = stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
        dir = base + "/sndtools-fuzz-" + std::to_string(getpid());
        mkdir(dir.c_str(), 0700);
        mkdir((dir + "/a-directory").c_str(), 0700);
    }
    return dir;
}

std::string slurp(const std::string &path, bool *exists)
{
    std::ifstream in(path, std::ios::binary);
    *exists = static_cast<bool>(in);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    return text.str();
}

void spill(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

run_input split_input(const uint8_t *data, size_t size, size_t line_count)
{
    run_input input;
    size_t at = 0;
    if (at < size)
        input.choice = data[at++];
    if (at < size)
        input.target_kind = data[at++];
    for (size_t n = 0; n < line_count; n++) {
        std::string line;
        while (at < size && data[at] != '\n') {
            if (data[at] != '\0' && line.size() < 40)
                line += static_cast<char>(data[at]);
            at++;
        }
        if (at < size)
            at++;
        input.lines.push_back(line);
    }
    input.file.assign(reinterpret_cast<const char *>(data) + at, size - at);
    return input;
}
