#include "front/run.h"

#include <cstdlib>

#include "front/args.h"
#include "front/process.h"
#include "front/say.h"
#include "messages.h"
#include "render/plan.h"
#include "render/render.h"
#include "wave/header.h"
#include "wave/journal.h"
#include "wave/output.h"
#include "wave/source.h"

namespace {

// Everything one run holds; released however the run ends.
struct Run {
    std::FILE *out = nullptr; // where the run prints
    FmtRecord format{};  // default_format at this run's rate
    NoteArgs args;
    TimePoints tp;
    SourceInfo src;
    NotePlan plan;
    Output output;
    Block buffer;        // the segment buffer
    RunFacts facts;

    // The note mixes into earlier output, or leaves a gap before it, only
    // when there is earlier output: the samples and bytes of the overlap
    // that the run applies.
    std::int32_t mixed_samples() const { return output.fresh() ? 0 : plan.overlap_samples; }
    std::int32_t mixed_bytes() const { return output.fresh() ? 0 : plan.overlap_bytes; }
};

// Prints what a step said; true when the run goes on.
bool heard(Run *run, const Report &refusal)
{
    say(run->out, refusal);
    return !refusal;
}

bool heard(Run *run, const Said &said)
{
    say(run->out, said.notice);
    return heard(run, said.refusal);
}

// The run's sample rate from the environment, printed, and the run's fresh
// header format at that rate.
bool start_run(Run *run)
{
    std::int32_t rate = 0;
    if (!read_rate(std::getenv("samples"), &rate)) {
        std::fputs(msg::bad_samples, run->out);
        return false;
    }
    std::fprintf(run->out, msg::sample_rate, rate);
    run->format = format_at_rate(rate);
    return true;
}

bool read_params(Run *run, int argc, const char *const *argv)
{
    if (read_note_args(argc, argv, &run->args, &run->tp))
        return true;
    std::fputs(msg::bad_params, run->out);
    return false;
}

bool load(Run *run)
{
    const SourceLoad s = load_source(run->args.infile, run->format, &run->src);
    say(run->out, s.notice);
    if (s.check.sized)
        std::fprintf(run->out, msg::infile_size, s.check.riff_size);
    if (!heard(run, s.check.refusal))
        return false;
    run->facts.silent = s.missing;
    run->facts.source_rate = run->src.sample_rate;
    return true;
}

// The output: locked for this run alone, a killed run's journal undone,
// then the header file loaded.
bool open(Run *run)
{
    Output &o = run->output;
    if (!heard(run, lock_output(run->args.outfile, &o)) ||
        !heard(run, recover_output(o.names.journal, o.names.header, o.names.data)) ||
        !heard(run, open_output(run->format, &o)))
        return false;
    run->facts.output_rate = read_header(o.header).sample_rate;
    return true;
}

// The commit. What the run printed goes out first: a closed standard output
// (SIGPIPE) must never end a run whose note is already in.
bool store(Run *run)
{
    std::fflush(run->out);
    return heard(run, store_note(&run->output, run->buffer.bytes()));
}

bool alloc_segment(Run *run)
{
    if (alloc_block(&run->buffer, static_cast<std::size_t>(run->plan.buffer_bytes)))
        return true;
    std::fputs(msg::malloc_buffer, run->out);
    return false;
}

bool overlap(Run *run)
{
    return heard(run, apply_overlap(&run->output, run->mixed_bytes(), run->buffer.bytes()));
}

// The run of a note, step by step.
int note(Run *run, int argc, const char *const *argv)
{
    if (!start_run(run) || !read_params(run, argc, argv) || !load(run) ||
        !heard(run, plan_note(run->tp, run->src, &run->plan)) || !open(run) ||
        !alloc_segment(run) || !overlap(run))
        return -1;
    const Rendered r =
        render_note(run->plan, volumes_of(run->args), run->src, run->mixed_samples(), run->buffer.bytes());
    run->facts.clipped = r.clipped_samples;
    return store(run) ? 0 : -1;
}

} // namespace

int segmix_main(int argc, const char *const *argv, std::FILE *out, RunFacts *facts)
{
    if (answer_flag(argc, argv, {"segmix", msg::usage, msg::help_segmix}, out))
        return 0;
    if (argc < min_argc) {
        std::fputs(msg::usage, out);
        return -1;
    }
    Run run;
    run.out = out;
    const int status = note(&run, argc, argv);
    if (facts)
        *facts = run.facts;
    return status;
}

int run_guarded(int argc, const char *const *argv, std::FILE *out, RunFacts *facts) noexcept
{
    try {
        return segmix_main(argc, argv, out, facts);
    } catch (...) {
        return -1;
    }
}

static bool empty(const char *s)
{
    return !s || !*s;
}

int run_note_argc(const char *ovr, const char *p4)
{
    if (empty(p4))
        return ovr_argc;
    return empty(ovr) ? long_form_argc : p5_argc;
}

int run_note(const char *outfile, const char *infile, const char *offset, const char *length,
             const char *p1, const char *p2, const char *p3, const char *v1, const char *v2,
             const char *v3, const char *v4, const char *ovr, const char *p4, const char *p5,
             const char *v5) noexcept
{
    const char *argv[p5_argc] = {nullptr, outfile, infile, offset, length, p1, p2, p3,
                                 v1,      v2,      v3,     v4,     ovr ? ovr : "", p4, p5, v5};
    return run_guarded(run_note_argc(ovr, p4), argv, stdout);
}
