#include "front/process.h"

#include <csignal>

void start_process()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
