// Drives a whole program run in-process: the program's main is renamed at
// compile time (-Dmain=...), its calls of exit are wrapped at link time and
// jump back here, and the program's release_run closes and frees what a
// refused run left open. Standard output goes to /dev/null.
#ifndef RUN_HARNESS_H
#define RUN_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

// Runs main_fn with the arguments; gives its exit status.
int run_in_process(int (*main_fn)(int, char **), void (*release)(),
                   const std::vector<std::string> &args);

// A fresh scratch directory for this process, on tmpfs when there is one.
const std::string &scratch();

std::string slurp(const std::string &path, bool *exists);
void spill(const std::string &path, const std::string &bytes);

// Splits the fuzz input: the first byte and a few text lines become the
// run's choices and number arguments, the rest the file content.
struct run_input {
    unsigned choice = 0;
    unsigned target_kind = 0;
    std::vector<std::string> lines;
    std::string file;
};
run_input split_input(const uint8_t *data, size_t size, size_t line_count);

#endif
