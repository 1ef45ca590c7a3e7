// The library's C entry points: thin wrappers around the run and the join, so
// that no C++ exception ever reaches a C caller.
#include "segmix/segmix.h"

#include <cstdio>

#include "front/run.h"
#include "wave/join.h"
#include "version.h"

int segmix_run(int argc, const char *const *argv)
{
    return run_guarded(argc, argv, stdout);
}

int segmix_run_ex(int argc, const char *const *argv, segmix_result *result)
{
    RunFacts facts;
    const int status = run_guarded(argc, argv, stdout, &facts);
    if (result) {
        result->status = status;
        result->silent = facts.silent ? 1 : 0;
        result->source_rate = facts.source_rate;
        result->output_rate = facts.output_rate;
        result->clipped_samples = facts.clipped;
    }
    return status;
}

int segmix_run_note(const char *outfile, const char *infile, const char *offset,
                    const char *length, const char *p1, const char *p2, const char *p3,
                    const char *v1, const char *v2, const char *v3, const char *v4,
                    const char *ovr, const char *p4, const char *p5, const char *v5)
{
    return run_note(outfile, infile, offset, length, p1, p2, p3, v1, v2, v3, v4, ovr, p4, p5, v5);
}

const char *segmix_version(void)
{
    return SEGMIX_VERSION;
}

int segmix_join(const char *first, const char *second, const char *output)
{
    try {
        return binjoin(first, second, output);
    } catch (...) {
        // A failed allocation for a message's file name: the output could not be written.
        return -1;
    }
}
