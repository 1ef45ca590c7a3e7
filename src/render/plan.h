// The plan of one note: time points turned into frame numbers of the source,
// and the size of the segment buffer.
#pragma once

#include <cstdint>

#include "front/args.h"
#include "wave/source.h"

struct NotePlan {
    std::int32_t i_start = 0, i_p1 = 0, i_p2 = 0, i_p5 = 0, i_p3 = 0, i_p4 = 0, i_end = 0;
    std::int32_t frames_available = 0;
    std::int32_t overlap_samples = 0; // negative for a gap; 0 when there is no earlier output
    std::int32_t overlap_bytes = 0;
    std::int32_t buffer_bytes = 0;
    std::int32_t overhang_bytes = 0; // buffer bytes past the note's end
};

// ((rate * t) / 1000000.0) + 0.5 truncated toward zero into *frame; false when
// the value lies outside the signed 32-bit range (or is not a number).
bool frame_number(double rate, double t, std::int32_t *frame);

// Plans the note at the source's own rate. Prints why and returns false for a
// note the plan cannot hold: a negative source rate, or a frame number or byte
// count beyond the signed 32-bit range.
bool plan_note(const TimePoints &tp, const SourceInfo &src, NotePlan *plan);
