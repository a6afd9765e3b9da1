// run_tool on POSIX systems: fork, limits, exec, wait.
#include "run_tool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

run_result run_tool(const std::string &program, const std::vector<std::string> &args,
                    const run_options &options)
{
    std::string out_name = scratch_dir() + "/stdout";
    std::vector<std::string> command =
        options.host_program ? std::vector<std::string>{program} : tool_command(program);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : command)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0)
            _exit(125);
        if (options.data_limit_mb > 0) {
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.data_limit_mb) << 20;
            setrlimit(RLIMIT_DATA, &limit);
        }
        if (options.file_limit_bytes > 0) {
            // As a shell leaves it: past the limit the program ends unless it
            // sees to that itself.
            signal(SIGXFSZ, SIG_DFL);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.file_limit_bytes);
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.ignored != 0)
            signal(options.ignored, SIG_IGN);
        if (options.uid >= 0 && (setgid(options.uid) != 0 || setuid(options.uid) != 0))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wstatus = 0;
    if (options.interrupt != 0) {
        // Mid-way: once the file has grown, as long as the program runs.
        while (waitpid(pid, &wstatus, WNOHANG) == 0) {
            struct stat st;
            if (stat(options.interrupt_file.c_str(), &st) == 0 && st.st_size >= (1 << 20)) {
                kill(pid, options.interrupt);
                break;
            }
            usleep(1000);
        }
    }
    waitpid(pid, &wstatus, 0);
    run_result result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = read_file(out_name);
    return result;
}
