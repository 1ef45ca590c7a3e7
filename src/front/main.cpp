// segmix: renders one note and appends it to an output that grows note by note.
#include "front/run.h"

int main(int argc, char **argv)
{
    return segmix_main(argc, argv);
}
