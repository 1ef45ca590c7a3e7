// The plan of one note: time points turned into frame numbers of the source,
// and the size of the segment buffer.
#pragma once

#include <array>
#include <cstdint>

#include "messages.h"
#include "render/note.h"
#include "wave/source.h"

struct NotePlan {
    std::array<std::int32_t, pt::count> i{}; // frame numbers of the time points, indexed by pt
    std::int32_t frames_available = 0;       // whole frames of the source's data
    std::int32_t overlap_samples = 0;        // the overlap in samples; negative for a gap
    std::int32_t overlap_bytes = 0;          // overlap_samples * 2
    std::int32_t buffer_bytes = 0;           // the segment buffer's size
    std::int32_t overhang_bytes = 0;         // buffer bytes past the note's end
};

// ((rate * t) / 1000000.0) + 0.5 truncated toward zero into *frame; false when
// the value lies outside the signed 32-bit range (or is not a number).
bool frame_number(double rate, double t, std::int32_t *frame);

// Plans the note at the source's own rate. Refuses (negative_rate, note_range)
// a note the plan cannot hold: a negative source rate, or a frame number or
// byte count beyond the signed 32-bit range.
Report plan_note(const TimePoints &tp, const SourceInfo &src, NotePlan *plan);
