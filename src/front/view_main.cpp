// segmix-view NOTES [-o FILE.svg]: the picture of the phrase that a notes file
// (segmix-batch's lines) has rendered.
#include <cstdio>

#include "front/view.h"

int main(int argc, char **argv)
{
    return view_main(argc, argv, stderr);
}
