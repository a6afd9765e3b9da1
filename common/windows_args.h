// Windows only: the arguments as the system holds them (UTF-16), turned
// into the UTF-8 the programs work with; and a console that shows UTF-8.
#ifndef WINDOWS_ARGS_H
#define WINDOWS_ARGS_H

#ifdef _WIN32
// The argument vector in UTF-8, for the whole run. Written to a file or a
// pipe, reports are UTF-8 bytes as they stand; when standard output is a
// console, they are shown there as the characters they are, through the
// console's UTF-16 interface, whatever its code page (which stays as it
// was).
char **utf8_arguments(int argc, wchar_t **argv);
#endif

#endif
