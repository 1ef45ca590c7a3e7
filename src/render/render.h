// The six-segment envelope of one note, mixed into the segment buffer.
#pragma once

#include <cstdint>
#include <span>

#include "render/note.h"
#include "render/plan.h"
#include "wave/source.h"

struct Rendered {
    std::int32_t rendered_samples = 0; // the frames rendered: i[end] - i[start]
    std::int64_t clipped_samples = 0;  // those stored at +32767 or -32767 because they lay beyond
};

// Renders the note that plan describes into buf (plan.buffer_bytes bytes of
// little-endian 16-bit samples, holding what the overlap read back, or zero).
// Positions below mixed_samples hold earlier output that the note is added to;
// the spine passes plan.overlap_samples, or 0 when there is no earlier output.
Rendered render_note(const NotePlan &plan, const Volumes &v, const SourceInfo &src,
                     std::int32_t mixed_samples, std::span<unsigned char> buf);
