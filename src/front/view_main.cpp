// segmix-view NOTES [-o FILE.svg]: the picture of the phrase that a notes file
// (segmix-batch's lines) has rendered.
#include <cstdio>

#include "front/command_line.h"
#include "front/process.h"
#include "front/view.h"

int main(int argc, char **argv)
{
    start_process();
    const CommandLine line(argc, argv);
    return view_main(line.argc(), line.argv(), stdout, stderr);
}
