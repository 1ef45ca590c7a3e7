#include "front/command_line.h"

#ifdef _WIN32
#include "win32.h"
#include <shellapi.h>

#include "front/text.h"

CommandLine::CommandLine(int argc, char **argv)
{
    int n = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wide && n == argc) {
        for (int i = 0; i < n; ++i)
            words_.push_back(narrow_of(wide[i], CP_UTF8));
    } else {
        // The system's parse and the C runtime's disagree: keep the runtime's.
        for (int i = 0; i < argc; ++i)
            words_.push_back(narrow_of(wide_of(argv[i], CP_ACP), CP_UTF8));
    }
    LocalFree(wide);
    for (const std::string &w : words_)
        pointers_.push_back(w.c_str());
}
#else
CommandLine::CommandLine(int argc, char **argv) : words_(argv, argv + argc)
{
    for (const std::string &w : words_)
        pointers_.push_back(w.c_str());
}
#endif
