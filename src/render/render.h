// The six-segment envelope of one note, mixed into the segment buffer.
#pragma once

#include <cstdint>

#include "front/args.h"
#include "render/plan.h"
#include "wave/source.h"

// Renders the note that plan describes into buf (plan.buffer_bytes bytes of
// little-endian 16-bit samples, holding what the overlap read back, or zero).
// Returns rendered_samples, the frames rendered: i_end - i_start.
std::int32_t render_note(const NotePlan &plan, const NoteArgs &args, const SourceInfo &src,
                         unsigned char *buf);
