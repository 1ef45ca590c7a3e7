// The source recording of a run: loaded whole, checked, and described for the
// renderer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wave/binload.h"
#include "wave/header.h"

struct SourceInfo {
    Block block;                // the loaded file, or the 44-byte default header
    std::int32_t sample_rate = 0;
    std::uint16_t channels = 0;
    std::uint16_t block_align = 0;
    std::int32_t data_size = 0;     // as the data chunk's head says
    std::size_t sample_data = 0;    // offset in block of the first sample byte
    std::int32_t bytes_present = 0; // sample bytes actually loaded from sample_data on
};

// Finds the data chunk at or after offset pos of a loaded block: the first
// chunk id "data" in a walk of 4-byte ids and 4-byte sizes, bodies padded to an
// even length. Returns the offset of its id, or -1 when none lies inside size.
std::int64_t find_data_chunk(const unsigned char *block, std::size_t size, std::int64_t pos);

// Loads and checks infile; the default header at fmt's rate stands in for a
// source that is missing, empty or too large to load. A source that exists but
// cannot be opened or read is refused. Prints "infile_size:%d\n" and every
// refusal.
bool load_source(const char *infile, const FmtRecord &fmt, SourceInfo *src);

// The checks of load_source on a block already in memory (the part that tests
// and fuzzers feed).
bool read_source(Block block, SourceInfo *src);
