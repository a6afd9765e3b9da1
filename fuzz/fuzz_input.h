// Splits a fuzz input into a run's choices: the first byte and a few text
// lines become the choices and the number arguments, the rest the content
// of the file the run reads.
#ifndef FUZZ_INPUT_H
#define FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct run_input {
    unsigned choice = 0;
    std::vector<std::string> lines;
    std::string file;
};

inline run_input split_input(const uint8_t *data, size_t size, size_t line_count)
{
    run_input input;
    size_t at = 0;
    if (at < size)
        input.choice = data[at++];
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

#endif
