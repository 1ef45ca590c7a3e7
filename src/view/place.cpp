#include "view/place.h"

#include <algorithm>

namespace view {

namespace {

// riff_size is the data's length plus the 36 header bytes after the field.
constexpr std::int64_t riff_extra = 36;

Span shifted(Span s, std::int64_t by)
{
    return s.empty() ? Span{} : Span{s.from + by, s.to + by};
}

} // namespace

Placement place_notes(std::span<const Step> steps)
{
    Placement p;
    p.notes.resize(steps.size());
    // A note that mixes in front of the whole output moves everything before
    // it right. Rather than move each earlier note, spans are kept relative to
    // the total shift so far (stored = position - shift) and settled at the end.
    std::int64_t shift = 0;
    std::int64_t d = 0; // the data file's length
    bool fresh = true;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const Step &s = steps[k];
        Placed &n = p.notes[k];
        if (!s.runs)
            continue;
        const std::int64_t ov = s.plan.overlap_bytes;
        const std::int64_t note = 2 * (std::int64_t{s.plan.i[pt::end]} - s.plan.i[pt::start]);
        const std::int64_t buffer = s.plan.buffer_bytes;
        std::int64_t at = d, gap = 0, move = 0;
        // Where the earlier output lies in the buffer: [e0, e1).
        std::int64_t e0 = 0, e1 = 0;
        if (!fresh) {
            if (ov > 0 && ov < d) {
                at = d - ov;
                e1 = ov;
            } else if (ov > 0) {
                at = 0;
                move = ov - d;
                e0 = move;
                e1 = ov;
            } else if (ov < 0) {
                gap = -ov;
            }
        }
        const std::int64_t end = at + gap + buffer;
        if (end + riff_extra > INT32_MAX) {
            n.fate = Fate::too_large;
            continue;
        }
        shift += move;
        const std::int64_t start = at + gap;
        n.fate = Fate::landed;
        n.fresh = fresh;
        n.note = {start - shift, start + note - shift};
        n.buffer = {start - shift, start + buffer - shift};
        if (e0 < std::min(e1, note))
            n.mixed = {start + e0 - shift, start + std::min(e1, note) - shift};
        if (gap > 0)
            n.gap = {at - shift, start - shift};
        d = end;
        fresh = false;
    }
    for (Placed &n : p.notes) {
        if (n.fate != Fate::landed)
            continue;
        n.note = {n.note.from + shift, n.note.to + shift};
        n.buffer = {n.buffer.from + shift, n.buffer.to + shift};
        n.mixed = shifted(n.mixed, shift);
        n.gap = shifted(n.gap, shift);
    }
    p.data_bytes = d;
    return p;
}

} // namespace view
