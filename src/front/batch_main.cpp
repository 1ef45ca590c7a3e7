// segmix-batch [FILE|-]: one segmix run per line of FILE (or of standard
// input), in order, in one process.
#include <cstdio>

#include "front/batch.h"
#include "front/process.h"

int main(int argc, char **argv)
{
    start_process();
    return batch_main(argc, argv, stdout, stderr);
}
