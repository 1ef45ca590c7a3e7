#include "render/render.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "bytes.h"

// Every sample is fixed by this arithmetic: IEEE doubles, each operation
// rounded on its own in the order written, conversions truncating toward zero.
// The build forbids contraction into fused multiply-adds, so nothing here may
// be rearranged, and (j * v) / n stays as written.

namespace {

enum class Kind { rise, middle, fall }; // segment 1, segments 2 to 5, segment 6

struct Segment {
    std::int32_t from, n;
    Kind kind;
    double begin, end; // volumes at from and at from + n
};

// Frames of the common case go in runs of this many: their gains first, then
// their values, the count of those clipped, and the stores, each step one
// plain loop that the compiler can vectorise.
constexpr std::int32_t run_frames = 256;

// The gains of frames j0 .. j0 + count - 1 of segment s, one loop per kind.
void gains(const Segment &s, std::int32_t j0, std::int32_t count, double *g)
{
    const std::int32_t len = s.n;
    const double n = len;
    const double begin = s.begin, end = s.end;
    switch (s.kind) {
    case Kind::rise:
        for (std::int32_t k = 0; k < count; ++k) {
            const double dj = j0 + k;
            g[k] = (dj * end) / n;
        }
        break;
    case Kind::middle:
        for (std::int32_t k = 0; k < count; ++k) {
            const double dj = j0 + k;
            const double rest = len - (j0 + k);
            g[k] = ((dj * end) + (rest * begin)) / n;
        }
        break;
    case Kind::fall:
        for (std::int32_t k = 0; k < count; ++k) {
            const double rest = len - (j0 + k);
            g[k] = (rest * begin) / n;
        }
        break;
    }
}

// The stored sample: clipped to -32767 .. 32767 (never -32768), truncated
// toward zero. A NaN, which only absurd volumes can produce, stores silence.
// Selects rather than branches, so that loops over it vectorise; after them y
// lies in range and the conversion is exact.
inline std::int16_t clip(double y)
{
    y = y == y ? y : 0.0;
    y = y > 32767.0 ? 32767.0 : y;
    y = y < -32767.0 ? -32767.0 : y;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(y));
}

// 1 when clip(y) cuts y off at a limit, 0 otherwise (a NaN is not clipped).
inline std::int64_t clipped(double y)
{
    return static_cast<std::int64_t>(y > 32767.0) + static_cast<std::int64_t>(y < -32767.0);
}

struct Source {
    const unsigned char *samples;
    std::int32_t channels;
};

// A stereo frame is the mean of its channels; any other count takes the first.
inline double source_value(const Source &src, std::int64_t f)
{
    if (src.channels == 2) {
        const double l = get_le16s(src.samples + 4 * f);
        const double r = get_le16s(src.samples + 4 * f + 2);
        return (r + l) * 0.5;
    }
    return get_le16s(src.samples + 2 * f * src.channels);
}

inline std::int16_t get_out(const unsigned char *buf, std::int64_t p)
{
    return get_le16s(buf + 2 * p);
}

inline void put_out(unsigned char *buf, std::int64_t p, std::int16_t v)
{
    put_le16(buf + 2 * p, static_cast<std::uint16_t>(v));
}

struct Note {
    Source src;
    std::int32_t i_start, frames_available, mixed_samples;
    unsigned char *buf;
    std::int64_t *clipped; // samples cut off at a limit, counted
};

// One frame, every case: past the end of the source, before its start, inside
// the overlap or not.
void render_frame(const Note &note, const Segment &s, std::int32_t f)
{
    const std::int64_t p = std::int64_t{f} - note.i_start;
    const bool mixed = p < note.mixed_samples;
    if (f >= note.frames_available) {
        if (!mixed)
            put_out(note.buf, p, 0);
        return;
    }
    const double x = f < 0 ? 0.0 : source_value(note.src, f);
    double g = 0;
    gains(s, f - s.from, 1, &g);
    double y = x * g;
    if (mixed)
        y = y + get_out(note.buf, p);
    *note.clipped += clipped(y);
    put_out(note.buf, p, clip(y));
}

// Turns the gains g[k] of count frames from frame f on into the values
// y = x * g they give. The channel count is fixed per loop.
void apply_gains(const Source &src, std::int32_t f, double *g, std::int32_t count)
{
    if (src.channels == 1) {
        const unsigned char *in = src.samples + 2 * std::int64_t{f};
        for (std::int32_t k = 0; k < count; ++k)
            g[k] = get_le16s(in + 2 * k) * g[k];
    } else if (src.channels == 2) {
        const unsigned char *in = src.samples + 4 * std::int64_t{f};
        for (std::int32_t k = 0; k < count; ++k) {
            const double l = get_le16s(in + 4 * k);
            const double r = get_le16s(in + 4 * k + 2);
            g[k] = ((r + l) * 0.5) * g[k];
        }
    } else {
        const std::int64_t step = 2 * std::int64_t{src.channels};
        const unsigned char *in = src.samples + step * f;
        for (std::int32_t k = 0; k < count; ++k)
            g[k] = get_le16s(in + step * k) * g[k];
    }
}

// Stores the count values y, clipped, at out; returns how many were clipped.
// A clipped value is stored at a limit, and a value is rarely at a limit
// otherwise: the stored values are looked at first, in 16-bit lanes, and only
// a run that holds a limit is counted exactly.
std::int64_t store_run(const double *y, std::int32_t count, unsigned char *out)
{
    std::int16_t v[run_frames];
    for (std::int32_t k = 0; k < count; ++k)
        v[k] = clip(y[k]);
    std::int16_t at_limit = 0;
    for (std::int32_t k = 0; k < count; ++k)
        at_limit = static_cast<std::int16_t>(at_limit | ((v[k] == 32767) | (v[k] == -32767)));
    for (std::int32_t k = 0; k < count; ++k)
        put_le16(out + 2 * k, static_cast<std::uint16_t>(v[k]));
    if (at_limit == 0)
        return 0;
    std::int64_t n = 0;
    for (std::int32_t k = 0; k < count; ++k)
        n += clipped(y[k]);
    return n;
}

// The frames of a segment that lie inside the source and outside the overlap:
// nearly every frame of a note.
void render_plain(const Note &note, const Segment &s, std::int32_t lo, std::int32_t hi)
{
    double g[run_frames];
    std::int32_t count = 0;
    for (std::int32_t f = lo; f < hi; f += count) {
        count = std::min(run_frames, hi - f);
        gains(s, f - s.from, count, g);
        apply_gains(note.src, f, g, count);
        *note.clipped += store_run(g, count, note.buf + 2 * (std::int64_t{f} - note.i_start));
    }
}

void render_segment(const Note &note, const Segment &s)
{
    const std::int32_t to = s.from + s.n;
    // [lo, hi): frames at or after the source's start, before its end and past
    // the overlap. Every other frame takes the careful path.
    const std::int64_t overlap_end = std::int64_t{note.i_start} + std::max(note.mixed_samples, 0);
    const auto lo = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::max<std::int64_t>({s.from, 0, overlap_end}), to));
    const std::int32_t hi = std::max(lo, std::min(to, note.frames_available));
    for (std::int32_t f = s.from; f < lo; ++f)
        render_frame(note, s, f);
    render_plain(note, s, lo, hi);
    for (std::int32_t f = hi; f < to; ++f)
        render_frame(note, s, f);
}

} // namespace

Rendered render_note(const NotePlan &plan, const Volumes &v, const SourceInfo &src,
                     std::int32_t mixed_samples, std::span<unsigned char> buf)
{
    Rendered r;
    const Note note = {{src.block.data.get() + src.sample_data, src.channels},
                       plan.i[pt::start],
                       plan.frames_available,
                       mixed_samples,
                       buf.data(),
                       &r.clipped_samples};
    // The gain at each point, in the order of the points along the note.
    const std::array<double, pt::count> gain = {0, v.v1, v.v2, v.v5, v.v3, v.v4, 0};
    for (std::size_t k = 0; k + 1 < pt::count; ++k) {
        const std::int32_t from = plan.i[k], to = plan.i[k + 1];
        if (to <= from)
            continue; // an empty segment writes nothing
        const Kind kind = k == pt::start ? Kind::rise : k + 1 == pt::end ? Kind::fall : Kind::middle;
        const Segment s = {from, to - from, kind, gain[k], gain[k + 1]};
        render_segment(note, s);
        r.rendered_samples += s.n;
    }
    return r;
}
