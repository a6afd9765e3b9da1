#include "windows_args.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "utf8.h"

static UINT console_code_page;

static void restore_console()
{
    fflush(stdout); // what is still buffered is UTF-8 too
    SetConsoleOutputCP(console_code_page);
}

static void use_utf8_console()
{
    DWORD mode;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        return; // a file or a pipe
    console_code_page = GetConsoleOutputCP();
    if (console_code_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        atexit(restore_console);
}

char **utf8_arguments(int argc, wchar_t **argv)
{
    static std::vector<std::string> texts;
    static std::vector<char *> pointers;
    for (int i = 0; i < argc; i++) {
        const wchar_t *w = argv[i];
        size_t n = 0;
        while (w[n] != 0)
            n++;
        texts.push_back(utf8_of(std::u16string(w, w + n)));
    }
    for (std::string &t : texts)
        pointers.push_back(&t[0]);
    pointers.push_back(nullptr);
    use_utf8_console();
    return pointers.data();
}
#endif
