// Runs a built program as a separate process and gives back its exit status
// and standard output, plus small file helpers for the whole-run tests.
#ifndef RUN_TOOL_H
#define RUN_TOOL_H

#include <string>
#include <vector>

struct run_result {
    int status; // exit status, or 128 + signal number
    std::string out;
};

struct run_options {
    int uid = -1;              // run as this user (needs root and POSIX), or as the caller
    long data_limit_mb = 0;    // limit on the data segment and heap (POSIX only), or none
    long file_limit_bytes = 0; // largest file the program may write (POSIX only), or none
    bool host_program = false; // a program of the build machine (/bin/sh): no emulator
    int interrupt = 0;         // a signal sent once interrupt_file holds a megabyte (POSIX only)
    int ignored = 0;           // a signal the program starts with ignored, as nohup leaves SIGHUP
    std::string interrupt_file;
};

// The command that starts a built program here: the program itself, or an
// emulator and the program when the tests run under one.
std::vector<std::string> tool_command(const std::string &program);

run_result run_tool(const std::string &program, const std::vector<std::string> &args,
                    const run_options &options = run_options());

// The echo of the argument vector that every run starts with.
std::string echo_of(const std::string &program, const std::vector<std::string> &args);

// The last line of a program's output, with its line end; and the one
// before it.
std::string last_line(const std::string &out);
std::string line_before_last(const std::string &out);

std::string replace_all(std::string text, const std::string &from, const std::string &to);

// A fresh directory under the system's temporary directory.
std::string scratch_dir();

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);
bool file_exists(const std::string &path);

// A WAV file edited: every sample halved (toward zero); halve rewrites the
// file so.
std::string halved(const std::string &wav);
void halve(const std::string &path);

// A phrase's field in DIR's bank.tsv (columns from 0: 1 offset, 2 length,
// 5 multiplier, 6 file, 7 hash).
std::string manifest_field(const std::string &dir, int number, int column);

// A 44-byte header plus the frames and a trailing zero byte, as the
// extractor writes it.
std::string wav_file(const std::vector<std::pair<int, int>> &frames, int rate);

#endif
