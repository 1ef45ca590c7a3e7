// segmix: renders one note and appends it to an output that grows note by note.
#include "front/command_line.h"
#include "front/process.h"
#include "segmix/segmix.h"

int main(int argc, char **argv)
{
    start_process();
    const CommandLine line(argc, argv);
    // Through the C entry, which turns the one exception a run can meet (no
    // memory for a file name, before any file is changed) into -1.
    return segmix_run(line.argc(), line.argv());
}
