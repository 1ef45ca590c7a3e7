#include "wave/source.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "bytes.h"
#include "messages.h"
#include "wave/file.h"

// Offset of the chunk that should follow the fmt chunk: 20 + fmt_size, the
// fmt chunk's body starting at 20 whatever the id at 12 says.
static constexpr std::int64_t fmt_body = 20;
static constexpr std::int64_t chunk_head = 8;

std::int64_t find_data_chunk(const unsigned char *block, std::size_t size, std::int64_t pos)
{
    const auto end = static_cast<std::int64_t>(size);
    // Each step moves on by at least a chunk head, so the walk always ends.
    while (pos >= 0 && pos + chunk_head <= end) {
        const unsigned char *head = block + pos;
        if (std::memcmp(head, "data", 4) == 0)
            return pos;
        // Files written by some editors put LIST, fact or cue chunks here.
        const std::int64_t body = get_le32(head + 4);
        pos += chunk_head + body + (body & 1);
    }
    return -1;
}

static bool refuse(const char *message)
{
    std::fputs(message, stdout);
    return false;
}

bool read_source(Block block, SourceInfo *src)
{
    const unsigned char *p = block.data.get();
    const std::size_t size = block.loaded;
    if (!check_wave(p, size))
        return false;
    // check_wave has seen 12 bytes, so riff_size is there to print.
    std::printf(msg::infile_size, get_le32s(p + off::riff_size));
    if (size < header_bytes)
        return refuse(msg::source_short);
    const WaveHeader h = read_header(p);
    if (h.bits_per_sample != 16)
        return refuse(msg::only_16bit);
    const std::int64_t first = fmt_body + h.fmt_size;
    if (h.fmt_size < 0 || first + chunk_head > static_cast<std::int64_t>(size))
        return refuse(msg::bad_fmt_size);
    const std::int64_t data = find_data_chunk(p, size, first);
    if (data < 0)
        return refuse(msg::no_data);
    // The renderer reads a frame's first sample, or both of a stereo frame; a
    // channel count of 0 still reads one. Each frame must hold what is read.
    const int read_per_frame = h.channels == 0 ? 1 : h.channels;
    if (h.block_align < 2 * read_per_frame)
        return refuse(msg::bad_block_align);

    src->sample_rate = h.sample_rate;
    src->channels = h.channels;
    src->block_align = h.block_align;
    src->data_size = get_le32s(p + data + 4);
    src->sample_data = static_cast<std::size_t>(data + chunk_head);
    src->bytes_present = static_cast<std::int32_t>(size - src->sample_data);
    src->block = std::move(block);
    return true;
}

bool load_source(const char *infile, const FmtRecord &fmt, SourceInfo *src)
{
    Block block;
    const Load load = binload(infile, 0, &block);
    if (load == Load::error)
        return false;
    if (load == Load::unopened && !file_missing_error()) {
        // It is there but cannot be opened: not a missing source.
        std::printf(msg::file_failed, "open", infile);
        return false;
    }
    if (load != Load::ok) {
        // No source: an empty recording at the run's rate, so the note is silence.
        if (!alloc_block(&block, header_bytes))
            return refuse(msg::malloc_binload);
        fill_header(block.data.get(), fmt, 36, 0);
        block.loaded = header_bytes;
    }
    return read_source(std::move(block), src);
}
