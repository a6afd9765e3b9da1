// Files by their names: opening, sizes, the same file under two names,
// work blocks, and the outputs a run creates or empties, each guarded
// until its own job completes.
//
// Names are the bytes the user gave on POSIX systems, and UTF-8 on Windows,
// where they are opened through the system's UTF-16 interfaces (windows_io.cpp)
// so that every name the file system allows works.
#ifndef FILES_H
#define FILES_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"

// fopen by name.
FILE *open_file(const char *name, const char *mode);

std::filesystem::path path_of(const char *name);

// The system's reason for the last failure to open name, as one line
// ("<name>: <reason>"), for the line before a refusal.
std::string open_failure_line(const char *name, int error);

// The input, opened for reading; refused with one line when it is a
// directory ("Couldn't read file <name>: it is a directory") or cannot be
// opened ("Couldn't open file <name>", after the system's reason).
stop open_input(const char *name, FILE **in);

// Size in bytes of the file name, open as f, or -1 when it cannot be told
// (a pipe). Leaves the stream positioned at its start.
int64_t file_size(FILE *f, const char *name);

// Whether the two names lead to one file (the same file through a hard or
// symbolic link too); false when either does not exist.
bool same_file(const char *a, const char *b);

bool is_regular_file(const char *name);

// A work block, freed when it goes out of scope.
struct block {
    unsigned char *bytes = nullptr;
    block() = default;
    block(const block &) = delete;
    block &operator=(const block &) = delete;
    ~block() { free(bytes); }
};

// malloc, refused with one line when memory is short.
stop take_block(int64_t size, block *b);

// The guard of one output that a run created or emptied: removed again if
// the run ends before its job keeps it (at a refusal, or at an interrupting
// signal: SIGINT, SIGTERM, SIGHUP, unless the program started with it
// ignored; on Windows Ctrl-C, Ctrl-Break, closing the console or any other
// end of the process), after which the run ends as the signal would. Any
// number of outputs are guarded at once, each on its own.
struct output_guard;

// Creates name (only if no file of that name exists, with create_new, so
// that a file that appears meanwhile is never emptied) or empties it; a
// regular file gets a guard in *guard (null otherwise). Null, with errno
// set, when it cannot be opened.
FILE *open_guarded(const char *name, bool create_new, output_guard **guard);

// The output is complete (all of it written and flushed): it stays. Returns
// whether it was guarded.
bool keep_output(output_guard *guard);

// Removes a guarded output now (its job failed), kept or not.
void drop_output(output_guard *guard);

// Removes every guarded output not kept: the end of a run that stopped.
void remove_unkept_outputs();

// An output of the run, open under its name, with its guard.
struct output_file {
    const char *name;
    FILE *file;
    output_guard *guard;
};

// Created or emptied and guarded; refused with the system's reason and
// "Couldn't open output file <name>".
stop open_output(output_file *out, const char *name);

// Flushes and closes the output (and clears its file), keeping it;
// refused with "Couldn't write output file <name>" when a write failed or
// the close does, and a guarded output is removed then.
stop close_output(output_file *out, bool write_failed);

// The whole of a file, refused as open_input refuses.
stop read_whole_file(const char *name, std::vector<unsigned char> *bytes);

// A file rewritten whole (a ROM): refused before anything is built when it
// cannot be replaced ("<name> cannot be written: <reason>"); then its new
// bytes written beside it, flushed to the disk and renamed over it, with its
// permissions, so that a failure or an interruption leaves the old file
// whole. A symbolic link is followed: its target is replaced.
stop check_replaceable(const char *name);
stop replace_file(const char *name, const unsigned char *bytes, int64_t size);

// Platform parts of the above: the file's data on the disk, the rename
// that replaces an existing file, and whether this user may write a file
// (and its directory).
bool sync_file(FILE *f);
bool rename_over(const std::filesystem::path &from, const std::filesystem::path &to);
int write_access_error(const std::filesystem::path &file);

#endif
