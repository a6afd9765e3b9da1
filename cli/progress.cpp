#include "progress.h"

#include <chrono>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

// The terminal has one progress line, whichever step drew it.
static FILE *shown_on = nullptr;
static std::string shown_text;

const double shown_after = 1.0; // seconds: a short run shows nothing

static double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

static bool standard_error_is_terminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void progress_start(progress *p, const char *what, int64_t total)
{
    *p = progress{standard_error_is_terminal() ? stderr : nullptr, what, total, now(), 0.0};
}

// The bytes that replace a shown line of shown_width characters by text.
static std::string progress_redraw(const std::string &text, size_t shown_width)
{
    std::string bytes = "\r" + text;
    if (shown_width > text.size()) // the longer line's end, blanked
        bytes += std::string(shown_width - text.size(), ' ') + "\r" + text;
    return bytes;
}

void progress_at(progress *p, int64_t at)
{
    if (p->terminal == nullptr)
        return;
    double t = now();
    if (t - p->started < shown_after || (!shown_text.empty() && t - p->drawn < 0.1))
        return;
    std::string text = std::string(p->what) + " " + std::to_string(at) + " of " +
                       std::to_string(p->total);
    if (text == shown_text)
        return;
    fputs(progress_redraw(text, shown_text.size()).c_str(), p->terminal);
    fflush(p->terminal);
    shown_on = p->terminal;
    shown_text = text;
    p->drawn = t;
}

void progress_clear()
{
    if (shown_on == nullptr || shown_text.empty())
        return;
    fputs(progress_redraw("", shown_text.size()).c_str(), shown_on);
    fflush(shown_on);
    shown_text.clear();
}

void progress_end(progress *p)
{
    progress_clear();
    p->terminal = nullptr;
}
