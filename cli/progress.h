// A long run's progress on standard error, "extract: phrase 37 of 127",
// on one line rewritten in place: only when standard error is a terminal,
// and only once the run has gone on for about a second. The line is
// cleared before any line goes to standard output, and at the end, so
// that the two never mix on a screen.
#ifndef CLI_PROGRESS_H
#define CLI_PROGRESS_H

#include <cstdint>
#include <cstdio>
#include <string>

struct progress {
    FILE *terminal = nullptr; // where the line goes; null: nowhere
    const char *what = "";
    int64_t total = 0;
    double started = 0.0, drawn = 0.0; // seconds on a steady clock
};

// A step of total parts starts: shown on standard error if it is a
// terminal (the one place that decides), after a second.
void progress_start(progress *p, const char *what, int64_t total);

// At part at (from 1) of the total: the line redrawn, at most ten times a
// second, once the step has gone on a second. From one thread at a time.
void progress_at(progress *p, int64_t at);

// Before a line goes to standard output: the progress line, if shown,
// cleared (it comes back at the next progress_at).
void progress_clear();

// The step's end: its line cleared.
void progress_end(progress *p);

#endif
