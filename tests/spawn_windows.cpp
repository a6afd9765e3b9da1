// run_tool on Windows: CreateProcess with standard output sent to a file.
// Console programs there end their lines with CRLF; that, and only that, is
// taken back to "\n", so the expectations are the same on every system.
#include "run_tool.h"

#include <windows.h>

#include <stdexcept>

#include "files.h"
#include "windows_io.h"

// One argument as the C runtime splits a command line back into argv.
static std::string quoted(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    return text + "\"";
}

// Every line must end with CRLF; a bare LF or CR is a fault of the program.
static std::string lines_of(const std::string &console)
{
    std::string text;
    for (size_t i = 0; i < console.size(); i++) {
        if (console[i] == '\r' && i + 1 < console.size() && console[i + 1] == '\n')
            continue;
        if (console[i] == '\r' || (console[i] == '\n' && (i == 0 || console[i - 1] != '\r')))
            throw std::runtime_error("line end other than CRLF at byte " + std::to_string(i) +
                                     " of:\n" + console);
        text += console[i];
    }
    return text;
}

run_result run_tool(const std::string &program, const std::vector<std::string> &args,
                    const run_options &options)
{
    if (options.uid >= 0)
        throw std::runtime_error("running as another user needs a POSIX system");
    // options.data_limit_mb has no counterpart here: the runs are not limited.
    std::string out_name = scratch_dir() + "/stdout";
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileW(wide_of(out_name.c_str()).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + out_name);
    std::string line;
    for (const std::string &a : tool_command(program))
        line += (line.empty() ? "" : " ") + quoted(a);
    for (const std::string &a : args)
        line += " " + quoted(a);
    // The command line as the system holds it, UTF-16, so that any name
    // reaches the program as typed.
    std::wstring wide_line = wide_of(line.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    // Under wine on a busy machine a start fails now and then: a few tries.
    BOOL started = FALSE;
    for (int tries = 0; !started && tries < 3; tries++) {
        if (tries > 0)
            Sleep(500);
        started = CreateProcessW(nullptr, &wide_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process);
    }
    const DWORD error = started ? 0 : GetLastError();
    CloseHandle(out);
    if (!started)
        throw std::runtime_error("cannot start " + line + " (error " + std::to_string(error) +
                                 ")");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run_result result;
    result.status = static_cast<int>(code);
    result.out = lines_of(read_file(out_name));
    return result;
}
