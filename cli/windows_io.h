// Windows only: the arguments as the system holds them (UTF-16), turned
// into the UTF-8 the programs work with; a console that shows UTF-8; and
// files opened by their UTF-16 names (the rest of files.h).
#ifndef WINDOWS_IO_H
#define WINDOWS_IO_H

#ifdef _WIN32
#include <string>

// The UTF-16 form of a UTF-8 text, for the system's wide functions.
std::wstring wide_of(const char *text);

// The argument vector in UTF-8, for the whole run. Written to a file or a
// pipe, reports are UTF-8 bytes as they stand; when standard output is a
// console, they are shown there as the characters they are, through the
// console's UTF-16 interface, whatever its code page (which stays as it
// was).
char **utf8_arguments(int argc, wchar_t **argv);
#endif

// The program's entry: Windows gives the arguments as UTF-16 only through
// wmain; inside they are UTF-8 everywhere. run returns how the run stops
// (nothing when it completed), which end_run turns into its exit.
#ifdef _WIN32
#define PROGRAM_MAIN(run)                                                                      \
    int wmain(int argc, wchar_t **argv) { end_run(run(argc, utf8_arguments(argc, argv))); }
#elif defined(__EMSCRIPTEN__)
#define PROGRAM_MAIN(run)                                                                      \
    int main(int argc, char **argv) { return finish_run(run(argc, argv)); }
#else
void ignore_file_limit_signal();
#define PROGRAM_MAIN(run)                                                                      \
    int main(int argc, char **argv)                                                            \
    {                                                                                          \
        ignore_file_limit_signal();                                                            \
        end_run(run(argc, argv));                                                              \
    }
#endif

#endif
