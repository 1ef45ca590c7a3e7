// segmix-view NOTES [-o FILE.svg]: the picture of the phrase that a notes file
// (segmix-batch's lines) has rendered.
#include <cstdio>

#include "front/process.h"
#include "front/view.h"

int main(int argc, char **argv)
{
    start_process();
    return view_main(argc, argv, stdout, stderr);
}
