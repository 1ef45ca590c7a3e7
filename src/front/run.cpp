#include "front/run.h"

#include <cstdio>
#include <cstdlib>

#include "front/args.h"
#include "messages.h"
#include "render/plan.h"
#include "render/render.h"
#include "wave/binload.h"
#include "wave/header.h"
#include "wave/output.h"
#include "wave/source.h"

namespace {

// Everything one run holds; released however the run ends.
struct Run {
    FmtRecord format{};  // default_format at this run's rate
    NoteArgs args;
    TimePoints tp;
    SourceInfo src;
    NotePlan plan;
    Output out;
    Block buffer;        // the segment buffer
};

// The run's sample rate from the environment, printed, and the run's fresh
// header format at that rate.
bool start_run(Run *run)
{
    std::int32_t rate = 0;
    if (!read_rate(std::getenv("samples"), &rate)) {
        std::fputs(msg::bad_samples, stdout);
        return false;
    }
    std::printf(msg::sample_rate, rate);
    run->format = format_at_rate(rate);
    return true;
}

bool alloc_segment(Run *run)
{
    if (alloc_block(&run->buffer, static_cast<std::size_t>(run->plan.buffer_bytes)))
        return true;
    std::fputs(msg::malloc_buffer, stdout);
    return false;
}

} // namespace

int segmix_main(int argc, const char *const *argv)
{
    if (argc < min_argc) {
        std::fputs(msg::usage, stdout);
        return -1;
    }
    Run run;
    if (!start_run(&run) || !read_note_args(argc, argv, &run.args, &run.tp) ||
        !load_source(run.args.infile, run.format, &run.src) ||
        !plan_note(run.tp, run.src, &run.plan) ||
        !open_output(run.args.outfile, run.format, &run.plan, &run.out) ||
        !alloc_segment(&run) || !apply_overlap(&run.out, run.plan, run.buffer.data.get()))
        return -1;
    render_note(run.plan, run.args, run.src, run.buffer.data.get());
    return store_note(&run.out, run.plan, run.buffer.data.get()) ? 0 : -1;
}

static bool empty(const char *s)
{
    return !s || !*s;
}

int run_note_argc(const char *ovr, const char *p4)
{
    if (empty(p4))
        return 13;
    return empty(ovr) ? 12 : 16;
}

int run_note(const char *outfile, const char *infile, const char *offset, const char *length,
             const char *p1, const char *p2, const char *p3, const char *v1, const char *v2,
             const char *v3, const char *v4, const char *ovr, const char *p4, const char *p5,
             const char *v5)
{
    const char *argv[16] = {nullptr, outfile, infile, offset, length, p1, p2, p3,
                            v1,      v2,      v3,     v4,     ovr ? ovr : "", p4, p5, v5};
    return segmix_main(run_note_argc(ovr, p4), argv);
}
