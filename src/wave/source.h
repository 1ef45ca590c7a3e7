// The source recording of a run: loaded whole, checked, and described for the
// renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "messages.h"
#include "wave/file.h"
#include "wave/header.h"

struct SourceInfo {
    Block block;                    // the loaded file, or the 44-byte default header
    std::int32_t sample_rate = 0;
    std::uint16_t channels = 0;
    std::uint16_t block_align = 0;
    std::int32_t data_size = 0;     // as the data chunk's head says
    std::size_t sample_data = 0;    // offset in block of the first sample byte
    std::int32_t bytes_present = 0; // sample bytes actually loaded from sample_data on
};

// What the checks on a source found, in the order a run prints it.
struct SourceCheck {
    bool sized = false;         // it passed check_wave, so its riff_size is printed
    std::int32_t riff_size = 0; // the header's riff_size, as a signed value
    Report refusal;             // why the source is refused, if it is
};

// What loading a source found: whether the default header stands in for it
// (it is missing, or counts as missing), the loader's notice when it counts as
// missing (an empty file, say), then the checks.
struct SourceLoad {
    bool missing = false;
    Report notice;
    SourceCheck check;
};

// Finds the data chunk at or after offset pos of a loaded block: the first
// chunk id "data" in a walk of 4-byte ids and 4-byte sizes, bodies padded to an
// even length. Returns the offset of its id, or -1 when none lies inside.
std::int64_t find_data_chunk(std::span<const unsigned char> block, std::int64_t pos);

// Loads and checks infile; the default header at fmt's rate stands in for a
// source that is missing, empty or too large to load. A source that exists but
// cannot be opened or read is refused.
SourceLoad load_source(const char *infile, const FmtRecord &fmt, SourceInfo *src);

// The checks of load_source on a block already in memory (the part that tests
// and fuzzers feed). *src is filled only when nothing is refused.
SourceCheck read_source(Block block, SourceInfo *src);
