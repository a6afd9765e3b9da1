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

// The same, for an output that is never written through a symbolic link
// (a WAV file in a folder of its own, which may now be a link to a file
// elsewhere): a link of that name is removed and a new file created in its
// place, refused if anything appears there meanwhile.
stop open_output_replacing_link(output_file *out, const char *name);

// The whole of a regular file, refused as open_input refuses, and before it
// is opened when it is not a regular file (a FIFO would block the read):
// "Couldn't read file <name>: it is not a regular file".
stop read_whole_file(const char *name, std::vector<unsigned char> *bytes);

// Files rewritten whole (a ROM, a manifest, a regions list), together. A
// symbolic link is followed: its target is replaced.
//
// check_replaceable refuses, before anything is built, a name this user
// cannot replace ("<name> cannot be written: <reason>") or one that is not
// a regular file ("<name> is not a regular file"); a name that does not
// exist yet is accepted when its folder can take it.
//
// stage_file writes the new bytes beside the target, under a temporary name
// guarded like an output (a refusal or an interruption removes it), flushed
// to the disk, with the target's permissions and, on POSIX, its owner and
// group where this user may give them (a new file: the default ones).
// Refused with the system's reason and "Couldn't write <name>: nothing was
// changed".
//
// commit_staged renames them over their targets in the order given and
// empties the list, each old file kept aside beside it until the last
// rename has succeeded. When one fails, those already replaced are put
// back: the system's reason and "Couldn't replace <name>: nothing was
// changed". Should one not go back, what stays replaced and what was not:
// "Couldn't replace <c>: <a> was replaced, <b> and <c> were not" after
// "The old <a> is <its name aside>". Every temporary file not renamed is
// removed either way.
struct staged_file {
    std::string name;              // as given, for the messages
    std::filesystem::path target;  // the file replaced
    std::string temp;              // the new bytes, beside it
    FILE *file;                    // open until renamed (Windows renames it through its handle)
    output_guard *guard;
    std::string aside;             // the old file's name while the others are renamed
};
stop check_replaceable(const char *name);
stop stage_file(const char *name, const unsigned char *bytes, int64_t size, staged_file *staged);
stop commit_staged(std::vector<staged_file> *files);

// Names said together: "a", "a and b", "a, b and c".
std::string names_of(const std::vector<std::string> &names);

// One file staged and committed.
stop replace_file(const char *name, const unsigned char *bytes, int64_t size);

// A lock held on a file from before it is read until it is replaced, so
// that two runs on one file take turns instead of one losing the other's
// edits: a lock file "<target>.sndbank-lock" beside the file (a symbolic
// link followed), locked by this process and removed when it lets go,
// fails or is interrupted. A run that finds it held prints once "Waiting for
// another sndbank run to finish with <name>" and waits. Refused only when
// the lock file cannot be made: the system's reason and "Couldn't lock
// <name>: nothing was changed".
struct file_lock;
stop lock_for_replacing(const char *name, file_lock **lock);
void release_lock(file_lock *lock);

// Platform parts of the above: the file's data on the disk; whether this
// user may write a file (when it exists) and create one beside it; the
// owner and permissions of a target given to its new bytes; the rename of a
// staged file over its target, which closes it (and removes it on a
// failure, errno set); a symbolic link removed (0, or the errno); the lock
// file taken (null with errno set when it cannot be made), after one call
// of waiting() when another run holds it; a name of a path, in the form
// path_of takes.
bool sync_file(FILE *f);
int write_access_error(const std::filesystem::path &file);
void take_owner_and_mode(FILE *f, const std::filesystem::path &target);
bool put_in_place(FILE *f, output_guard *guard, const std::string &temp,
                  const std::filesystem::path &target);
int remove_link(const char *name, bool *removed);
file_lock *take_lock_file(const std::string &lock_name, const char *name,
                          void (*waiting)(const char *name));
std::string name_of_path(const std::filesystem::path &path);

#endif
