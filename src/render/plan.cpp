#include "render/plan.h"

#include <algorithm>
#include <cstdio>

#include "messages.h"

bool frame_number(double rate, double t, std::int32_t *frame)
{
    const double v = ((rate * t) / 1000000.0) + 0.5;
    // Truncation keeps every value above -2^31 - 1 and below 2^31 in range; the
    // test is written so that a NaN fails it too.
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return false;
    *frame = static_cast<std::int32_t>(v);
    return true;
}

static bool refuse(const char *message)
{
    std::fputs(message, stdout);
    return false;
}

bool plan_note(const TimePoints &tp, const SourceInfo &src, NotePlan *plan)
{
    if (src.sample_rate < 0)
        return refuse(msg::negative_rate);
    const double rate = src.sample_rate;
    NotePlan p;
    if (!frame_number(rate, tp.t_start, &p.i_start) || !frame_number(rate, tp.t_p1, &p.i_p1) ||
        !frame_number(rate, tp.t_p2, &p.i_p2) || !frame_number(rate, tp.t_p5, &p.i_p5) ||
        !frame_number(rate, tp.t_p3, &p.i_p3) || !frame_number(rate, tp.t_p4, &p.i_p4) ||
        !frame_number(rate, tp.t_end, &p.i_end) ||
        !frame_number(rate, tp.t_ovr, &p.overlap_samples))
        return refuse(msg::note_range);
    // Ordered time points give ordered frame numbers; the renderer writes only
    // between i_start and i_end, so a plan out of order is never handed on.
    const std::int32_t at[7] = {p.i_start, p.i_p1, p.i_p2, p.i_p5, p.i_p3, p.i_p4, p.i_end};
    for (int i = 0; i + 1 < 7; ++i)
        if (at[i] > at[i + 1])
            return refuse(msg::note_range);
    // Only whole frames of the bytes actually loaded count, whatever the header says.
    p.frames_available =
        src.block_align == 0 ? 0 : std::min(src.data_size, src.bytes_present) / src.block_align;
    const std::int64_t overlap_bytes = std::int64_t{p.overlap_samples} * 2;
    const std::int64_t note_bytes = (std::int64_t{p.i_end} - p.i_start) * 2;
    if (overlap_bytes < INT32_MIN || overlap_bytes > INT32_MAX || note_bytes < 0 ||
        note_bytes > INT32_MAX)
        return refuse(msg::note_range);
    p.overlap_bytes = static_cast<std::int32_t>(overlap_bytes);
    if (overlap_bytes > note_bytes) {
        p.buffer_bytes = p.overlap_bytes;
        p.overhang_bytes = static_cast<std::int32_t>(overlap_bytes - note_bytes);
    } else {
        p.buffer_bytes = static_cast<std::int32_t>(note_bytes);
        p.overhang_bytes = 0;
    }
    *plan = p;
    return true;
}
