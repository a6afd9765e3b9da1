// Files by their names, with the programs' refusals: opening, sizes, the
// same file under two names, work blocks, and checked closes.
//
// Names are the bytes the user gave on POSIX systems, and UTF-8 on Windows,
// where they are opened through the system's UTF-16 interfaces (windows_io.cpp)
// so that every name the file system allows works.
#ifndef FILES_H
#define FILES_H

#include <cstdint>
#include <cstdio>
#include <filesystem>

// fopen by name.
FILE *open_file(const char *name, const char *mode);

// An output that this run creates (only if no file of that name exists,
// with create_new, so that a file that appears meanwhile is never emptied)
// or empties: a regular file is guarded, and removed again if the run ends
// before keep_output: at a refusal, or at an interrupting signal (SIGINT,
// SIGTERM, SIGHUP; on Windows Ctrl-C, Ctrl-Break, closing the console or
// any other end of the process), after which the run ends as the signal
// would. Null, with errno set, when it cannot be opened.
FILE *open_guarded(const char *name, bool create_new);

// The output is complete (all of it written and flushed): it stays. Returns
// whether it was guarded.
bool keep_output(FILE *f);

// The system's reason for the last failure to open name, as one line
// ("<name>: <reason>"); for the line before a refusal.
void print_open_failure(const char *name, int error);

std::filesystem::path path_of(const char *name);

// The input, opened for reading; refuses the run with one line when it is
// a directory ("Couldn't read file <name>: it is a directory") or cannot be
// opened ("Couldn't open file <name>").
FILE *open_input(const char *name);

// Size in bytes of the file name, open as f, or -1 when it cannot be told
// (a pipe). Leaves the stream positioned at its start.
int64_t file_size(FILE *f, const char *name);

// Whether the two names lead to one file (the same file through a hard or
// symbolic link too); false when either does not exist.
bool same_file(const char *a, const char *b);

bool is_regular_file(const char *name);

// malloc that refuses the run with one line when memory is short.
void *take_block(int64_t size);

// Flushes and closes *out (and clears it), keeping it; exits 1 with
// "Couldn't write output file <name>" when a write failed or the close
// does, and a guarded file is removed then.
void finish_output(FILE **out, bool write_failed, const char *name);

#endif
