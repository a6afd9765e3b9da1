// Windows only: the arguments as the system holds them (UTF-16), turned
// into the UTF-8 the programs work with; and a console that shows UTF-8.
#ifndef WINDOWS_ARGS_H
#define WINDOWS_ARGS_H

#ifdef _WIN32
// The argument vector in UTF-8, for the whole run. When standard output is
// a console, it is switched to UTF-8 until the program ends; written to a
// file or a pipe, reports are UTF-8 bytes as they stand.
char **utf8_arguments(int argc, wchar_t **argv);
#endif

#endif
