// The library's C entry points: thin wrappers around the run and the join, so
// that no C++ exception ever reaches a C caller.
#include "segmix/segmix.h"

#include "front/run.h"
#include "wave/join.h"

int segmix_run(int argc, const char *const *argv)
{
    try {
        return segmix_main(argc, argv);
    } catch (...) {
        // Only a failed allocation of a file name can throw; the run has then
        // changed no file.
        return -1;
    }
}

int segmix_run_note(const char *outfile, const char *infile, const char *offset,
                    const char *length, const char *p1, const char *p2, const char *p3,
                    const char *v1, const char *v2, const char *v3, const char *v4,
                    const char *ovr, const char *p4, const char *p5, const char *v5)
{
    try {
        return run_note(outfile, infile, offset, length, p1, p2, p3, v1, v2, v3, v4, ovr, p4, p5,
                        v5);
    } catch (...) {
        return -1;
    }
}

int segmix_join(const char *first, const char *second, const char *output)
{
    return binjoin(first, second, output);
}
