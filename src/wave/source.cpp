#include "wave/source.h"

#include <cstring>
#include <utility>

#include "bytes.h"
#include "wave/binload.h"

// Offset of the chunk that should follow the fmt chunk: 20 + fmt_size, the
// fmt chunk's body starting at 20 whatever the id at 12 says.
static constexpr std::int64_t fmt_body = 20;
static constexpr std::int64_t chunk_head = 8;

std::int64_t find_data_chunk(std::span<const unsigned char> block, std::int64_t pos)
{
    const auto end = static_cast<std::int64_t>(block.size());
    // Each step moves on by at least a chunk head, so the walk always ends.
    while (pos >= 0 && pos + chunk_head <= end) {
        const unsigned char *head = block.data() + pos;
        if (std::memcmp(head, "data", 4) == 0)
            return pos;
        // Files written by some editors put LIST, fact or cue chunks here.
        const std::int64_t body = get_le32(head + 4);
        pos += chunk_head + body + (body & 1);
    }
    return -1;
}

static SourceCheck refused(SourceCheck c, Code code)
{
    c.refusal = report(code);
    return c;
}

SourceCheck read_source(Block block, SourceInfo *src)
{
    const std::span<const unsigned char> bytes = block.bytes();
    SourceCheck c;
    if (const Code wave = check_wave(bytes); wave != Code::ok)
        return refused(c, wave);
    // check_wave has seen 12 bytes, so riff_size is there to print.
    c.sized = true;
    c.riff_size = get_le32s(bytes.data() + off::riff_size);
    if (bytes.size() < header_bytes)
        return refused(c, Code::source_short);
    const WaveHeader h = read_header(bytes.data());
    if (h.bits_per_sample != 16)
        return refused(c, Code::only_16bit);
    const std::int64_t first = fmt_body + h.fmt_size;
    if (h.fmt_size < 0 || first + chunk_head > static_cast<std::int64_t>(bytes.size()))
        return refused(c, Code::bad_fmt_size);
    const std::int64_t data = find_data_chunk(bytes, first);
    if (data < 0)
        return refused(c, Code::no_data);
    // The renderer reads a frame's first sample, or both of a stereo frame; a
    // channel count of 0 still reads one. Each frame must hold what is read.
    const int read_per_frame = h.channels == 0 ? 1 : h.channels;
    if (h.block_align < 2 * read_per_frame)
        return refused(c, Code::bad_block_align);

    src->sample_rate = h.sample_rate;
    src->channels = h.channels;
    src->block_align = h.block_align;
    src->data_size = get_le32s(bytes.data() + data + 4);
    src->sample_data = static_cast<std::size_t>(data + chunk_head);
    src->bytes_present = static_cast<std::int32_t>(bytes.size() - src->sample_data);
    src->block = std::move(block);
    return c;
}

SourceLoad load_source(const char *infile, const FmtRecord &fmt, SourceInfo *src)
{
    SourceLoad s;
    Loaded l = binload(infile);
    if (l.load == Load::error) {
        s.check.refusal = std::move(l.report);
        return s;
    }
    if (l.load != Load::ok) {
        // No source: an empty recording at the run's rate, so the note is silence.
        s.missing = true;
        s.notice = std::move(l.report);
        if (!alloc_block(&l.block, header_bytes)) {
            s.check.refusal = report(Code::malloc_binload);
            return s;
        }
        fill_header(l.block.data.get(), fmt, empty_riff_size, 0);
    }
    s.check = read_source(std::move(l.block), src);
    return s;
}
