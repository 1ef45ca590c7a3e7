#include "front/process.h"

#include <csignal>
#include <cstring>

#include "messages.h"
#include "version.h"

void start_process()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

Flag only_flag(int argc, const char *const *argv)
{
    if (argc != 2 || !argv[1])
        return Flag::none;
    const char *a = argv[1];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0)
        return Flag::help;
    if (std::strcmp(a, "--version") == 0 || std::strcmp(a, "-V") == 0)
        return Flag::version;
    return Flag::none;
}

bool answer_flag(int argc, const char *const *argv, const ToolText &tool, std::FILE *out)
{
    switch (only_flag(argc, argv)) {
    case Flag::help:
        std::fputs(tool.usage, out);
        std::fputs(tool.help, out);
        return true;
    case Flag::version:
        std::fprintf(out, msg::version, tool.name, SEGMIX_VERSION);
        return true;
    case Flag::none:
        break;
    }
    return false;
}
