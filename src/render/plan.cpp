#include "render/plan.h"

#include <algorithm>

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

Report plan_note(const TimePoints &tp, const SourceInfo &src, NotePlan *plan)
{
    if (src.sample_rate < 0)
        return report(Code::negative_rate);
    const double rate = src.sample_rate;
    NotePlan p;
    for (std::size_t k = 0; k < pt::count; ++k)
        if (!frame_number(rate, tp.t[k], &p.i[k]))
            return report(Code::note_range);
    if (!frame_number(rate, tp.t_ovr, &p.overlap_samples))
        return report(Code::note_range);
    // Ordered time points give ordered frame numbers; the renderer writes only
    // between i[start] and i[end], so a plan out of order is never handed on.
    if (!std::ranges::is_sorted(p.i))
        return report(Code::note_range);
    // Only whole frames of the bytes actually loaded count, whatever the header
    // says. A writer that streams to a pipe cannot seek back to its header and
    // leaves data_size at 0xFFFFFFFF, which reads as -1: a negative size means
    // the data runs to the end of the file.
    const std::int32_t data = src.data_size < 0 ? src.bytes_present
                                                : std::min(src.data_size, src.bytes_present);
    p.frames_available = src.block_align == 0 ? 0 : data / src.block_align;
    const std::int64_t overlap_bytes = std::int64_t{p.overlap_samples} * 2;
    const std::int64_t note_bytes = (std::int64_t{p.i[pt::end]} - p.i[pt::start]) * 2;
    if (overlap_bytes < INT32_MIN || overlap_bytes > INT32_MAX || note_bytes < 0 ||
        note_bytes > INT32_MAX)
        return report(Code::note_range);
    p.overlap_bytes = static_cast<std::int32_t>(overlap_bytes);
    if (overlap_bytes > note_bytes) {
        p.buffer_bytes = p.overlap_bytes;
        p.overhang_bytes = static_cast<std::int32_t>(overlap_bytes - note_bytes);
    } else {
        p.buffer_bytes = static_cast<std::int32_t>(note_bytes);
        p.overhang_bytes = 0;
    }
    *plan = p;
    return {};
}
