// segmix-batch [FILE|-]: one segmix run per line of FILE (or of standard
// input), in order, in one process.
#include <cstdio>

#include "front/batch.h"
#include "front/command_line.h"
#include "front/process.h"

int main(int argc, char **argv)
{
    start_process();
    const CommandLine line(argc, argv);
    return batch_main(line.argc(), line.argv(), stdout, stderr);
}
