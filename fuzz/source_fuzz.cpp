// Fuzz target: a source recording and the note's parameter texts, from
// arbitrary bytes, through the checks on the source, the parameter reading, the
// plan and the renderer, with nothing on disk.
//
// Input: the source file's bytes, then up to 13 parameter texts (offset,
// length, p1 ... v5 in the order of the usage line), fields separated by
// "\n~~\n". The number of texts sets the argument count.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"
#include "front/args.h"
#include "parts.h"
#include "render/plan.h"
#include "render/render.h"
#include "wave/file.h"
#include "wave/source.h"

namespace {

// Notes longer than this are planned but not rendered: the renderer's cost is
// linear in the note, and long notes find nothing short ones do not.
constexpr std::int32_t max_render_bytes = 1 << 16;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "source_fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::string> fields = split_fields(data, size);
    const std::string &source = fields[0];

    // argv as the command line gives it: program, outfile, infile, then the texts.
    std::vector<const char *> argv = {"segmix", "out", "in.wav"};
    for (std::size_t i = 1; i < fields.size() && argv.size() < 18; ++i)
        argv.push_back(fields[i].c_str());
    const int argc = static_cast<int>(argv.size());
    while (argv.size() < 16)
        argv.push_back(nullptr); // never read below its argument count
    if (argc < min_argc)
        return 0;

    NoteArgs args;
    TimePoints tp;
    if (!read_note_args(argc, argv.data(), &args, &tp))
        return 0;

    Block block;
    check(alloc_block(&block, source.size()), "alloc");
    std::memcpy(block.data.get(), source.data(), source.size());
    SourceInfo src;
    if (read_source(std::move(block), &src).refusal)
        return 0;
    check(src.sample_data <= src.block.size, "sample_data past the loaded bytes");
    check(src.bytes_present >= 0 &&
              src.sample_data + static_cast<std::size_t>(src.bytes_present) == src.block.size,
          "bytes_present");

    NotePlan plan;
    if (plan_note(tp, src, &plan))
        return 0;
    check(std::ranges::is_sorted(plan.i), "frame numbers out of order");
    check(plan.buffer_bytes >= 0 && plan.overhang_bytes >= 0, "negative buffer");
    if (plan.buffer_bytes > max_render_bytes)
        return 0;

    // The overlap's read-back: the source's own bytes stand in for earlier output.
    Block buf;
    check(alloc_block(&buf, static_cast<std::size_t>(plan.buffer_bytes)), "alloc");
    const std::size_t head =
        plan.overlap_bytes > 0 ? static_cast<std::size_t>(plan.overlap_bytes) : 0;
    for (std::size_t i = 0; i < head && !source.empty(); ++i)
        buf.data[i] = static_cast<unsigned char>(source[i % source.size()]);
    const std::vector<unsigned char> before(buf.data.get(), buf.data.get() + buf.size);

    const std::int32_t rendered =
        render_note(plan, volumes_of(args), src, plan.overlap_samples, buf.bytes()).rendered_samples;
    check(rendered == plan.i[pt::end] - plan.i[pt::start], "rendered_samples");
    check(plan.buffer_bytes == 2 * rendered + plan.overhang_bytes, "buffer_bytes");
    // Outside the overlap a stored sample is never -32768; past the note the
    // buffer keeps what was read back there.
    for (std::int64_t p = 0; p < rendered; ++p)
        if (p >= plan.overlap_samples)
            check(get_le16s(buf.data.get() + 2 * p) != -32768, "-32768 stored");
    for (std::size_t i = 2 * static_cast<std::size_t>(rendered); i < buf.size; ++i)
        check(buf.data[i] == before[i], "overhang changed");
    return 0;
}
