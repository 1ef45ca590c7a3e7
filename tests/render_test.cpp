// Rendering: time points to frame numbers, the plan of a note and its buffer,
// and the six-segment envelope with the overlap mix and clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "front/args.h"
#include "messages.h"
#include "render/plan.h"
#include "render/render.h"
#include "util.h"
#include "wave/file.h"
#include "wave/source.h"

namespace {

// A source read from a WAVE file in memory. The block ends right after the
// file's last byte, so that AddressSanitizer reports any read past what was
// loaded.
SourceInfo source_of(const Bytes &wav)
{
    Block block;
    EXPECT_TRUE(alloc_block(&block, wav.size()));
    std::memcpy(block.data.get(), wav.data(), wav.size());
    SourceInfo src;
    EXPECT_FALSE(read_source(std::move(block), &src).refusal);
    return src;
}

SourceInfo source_of(const Samples &samples, std::uint16_t channels = 1)
{
    WavSpec shape;
    shape.channels = channels;
    return source_of(make_wav(samples, shape));
}

// Frame numbers of a note, in their order along it, and the samples mixed.
struct Frames {
    std::int32_t start, p1, p2, p5, p3, p4, end;
    std::int32_t mixed = 0;
};

NotePlan plan_of(const Frames &fr, std::int32_t frames_available)
{
    NotePlan plan;
    plan.i = {fr.start, fr.p1, fr.p2, fr.p5, fr.p3, fr.p4, fr.end};
    plan.frames_available = frames_available;
    return plan;
}

// v1, v2, v5, v3, v4: the volumes in their order along the note.
Volumes volumes(double v1, double v2, double v5, double v3, double v4)
{
    return {v1, v2, v3, v4, v5};
}

// One note rendered over a buffer that holds before (its size is the buffer's).
struct RenderCase {
    const char *what;
    Samples source; // interleaved frames
    std::uint16_t channels;
    Frames at;
    Volumes v;
    Samples before;
    Samples after;
};

void check_render(const RenderCase &c)
{
    SCOPED_TRACE(c.what);
    const SourceInfo src = source_of(c.source, c.channels);
    const auto frames = static_cast<std::int32_t>(c.source.size() / c.channels);
    Bytes buf = bytes_of(c.before);
    EXPECT_EQ(render_note(plan_of(c.at, frames), c.v, src, c.at.mixed, buf).rendered_samples,
              c.at.end - c.at.start);
    EXPECT_EQ(samples_of(buf), c.after);
}

Code planned(const TimePoints &tp, const SourceInfo &src, NotePlan *plan)
{
    return plan_note(tp, src, plan).code;
}

// Segment 2 alone over frames 0 .. n - 1 at a constant volume: from i_p1 to i_p2.
Frames hold(std::int32_t n, std::int32_t mixed = 0)
{
    return {0, 0, n, n, n, n, n, mixed};
}

const Volumes unity = volumes(1, 1, 1, 1, 1);

TEST(FrameNumber, RoundsHalvesUpAndTruncatesTowardZero)
{
    struct Case {
        double rate, t;
        bool ok;
        std::int32_t frame;
    } cases[] = {
        {44100, 10000, true, 441},
        {44100, 11, true, 0},  // 0.4851 + 0.5
        {44100, 12, true, 1},  // 0.5292 + 0.5
        {44100, 5000, true, 221}, // 220.5 + 0.5
        // 7717.5; 44100 * (175000 / 1000000.0) would be 7717.499999999999.
        {44100, 175000, true, 7718},
        {44100, -10000, true, -440}, // -441 + 0.5 = -440.5
        {44100, -34, true, 0},  // -1.4994 + 0.5 = -0.9994
        {44100, -35, true, -1}, // -1.5435 + 0.5 = -1.0435
        {44100, 0, true, 0},
        {0, 1e12, true, 0},
        // At a million frames per second a time point of t gives t + 0.5.
        {1000000, 2147483647, true, INT32_MAX},
        {1000000, 2147483647.5, false, 0},
        {1000000, -2147483648.5, true, INT32_MIN},
        {1000000, -2147483649.0, true, INT32_MIN}, // -2147483648.5 truncates into range
        {1000000, -2147483649.5, false, 0},
        {44100, 1e300, false, 0},
        {44100, -1e300, false, 0},
        {44100, HUGE_VAL, false, 0},
        {44100, NAN, false, 0},
        {0, HUGE_VAL, false, 0}, // 0 times infinity is not a number
    };
    for (const Case &c : cases) {
        std::int32_t frame = 12345;
        EXPECT_EQ(frame_number(c.rate, c.t, &frame), c.ok) << c.rate << " " << c.t;
        if (c.ok) {
            EXPECT_EQ(frame, c.frame) << c.rate << " " << c.t;
        }
    }
}

TEST(PlanNote, EachFrameNumberFromItsOwnTimePoint)
{
    const SourceInfo src = source_of(Samples(10, 0));
    const TimePoints tp = {{0, 11, 12, 34, 35, 10000, 20000}, 5000};
    NotePlan plan;
    ASSERT_EQ(planned(tp, src, &plan), Code::ok);
    EXPECT_EQ(plan.i, (std::array<std::int32_t, pt::count>{0, 0, 1, 1, 2, 441, 882}));
    EXPECT_EQ(plan.overlap_samples, 221);
}

TEST(PlanNote, BufferHoldsTheNoteOrALongerOverlap)
{
    struct Case {
        double t_start, t_end, t_ovr;
        std::int32_t overlap_samples, overlap_bytes, buffer_bytes, overhang_bytes;
    } cases[] = {
        // 441 frames: 882 bytes.
        {0, 10000, 5000, 221, 442, 882, 0},
        {0, 10000, 10000, 441, 882, 882, 0}, // as long as the note: no overhang
        {0, 10000, 20000, 882, 1764, 1764, 882},
        {0, 10000, 0, 0, 0, 882, 0},
        {0, 10000, -10000, -440, -880, 882, 0},
        {1000000, 1010000, 30000, 1323, 2646, 2646, 1764},
        // All frame numbers coinciding: an empty note.
        {10000, 10000, 5000, 221, 442, 442, 442},
        {10000, 10000, 0, 0, 0, 0, 0},
        {10000, 10000, -10000, -440, -880, 0, 0},
    };
    const SourceInfo src = source_of(Samples(10, 0));
    for (const Case &c : cases) {
        const TimePoints tp = {{c.t_start, c.t_start, c.t_start, c.t_start, c.t_end, c.t_end, c.t_end},
                               c.t_ovr};
        NotePlan plan;
        ASSERT_EQ(planned(tp, src, &plan), Code::ok);
        SCOPED_TRACE(testing::Message() << c.t_start << " " << c.t_end << " " << c.t_ovr);
        EXPECT_EQ(plan.overlap_samples, c.overlap_samples);
        EXPECT_EQ(plan.overlap_bytes, c.overlap_bytes);
        EXPECT_EQ(plan.buffer_bytes, c.buffer_bytes);
        EXPECT_EQ(plan.overhang_bytes, c.overhang_bytes);
    }
}

TEST(PlanNote, RefusesWhatThirtyTwoBitsCannotHold)
{
    // At a million frames per second a time point t >= 0 is frame t, and
    // t - 0.5 is frame t below zero.
    struct Case {
        const char *what;
        std::int32_t rate;
        double t_start, t_end, t_ovr;
        Code result;
    } cases[] = {
        {"negative rate", -1, 0, 0, 0, Code::negative_rate},
        {"rate of 2^31 read as signed", INT32_MIN, 0, 1000, 0, Code::negative_rate},
        {"zero rate", 0, 0, 1e9, 1e9, Code::ok},
        {"frame at INT32_MAX", 1000000, 2147483647, 2147483647, 0, Code::ok},
        {"frame past INT32_MAX", 1000000, 2147483647, 2147483648, 0, Code::note_range},
        {"start below INT32_MIN", 1000000, -2147483649.5, 0, 0, Code::note_range},
        {"overlap past INT32_MAX", 1000000, 0, 0, 2147483648, Code::note_range},
        {"not a number", 1000000, 0, NAN, 0, Code::note_range},
        {"end before start", 1000000, 10, 5, 0, Code::note_range},
        {"note of 2^30 - 1 frames", 1000000, 0, 1073741823, 0, Code::ok},
        {"note of 2^30 frames", 1000000, 0, 1073741824, 0, Code::note_range},
        {"note across zero of 2^30 + 1 frames", 1000000, -1073741824.5, 1, 0, Code::note_range},
        {"overlap of 2^30 - 1 samples", 1000000, 0, 0, 1073741823, Code::ok},
        {"overlap of 2^30 samples", 1000000, 0, 0, 1073741824, Code::note_range},
        {"overlap of -2^30 samples", 1000000, 0, 0, -1073741824.5, Code::ok},
        {"overlap of -2^30 - 1 samples", 1000000, 0, 0, -1073741825.5, Code::note_range},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SourceInfo src = source_of(Samples(4, 0));
        src.sample_rate = c.rate;
        const TimePoints tp = {{c.t_start, c.t_start, c.t_start, c.t_start, c.t_end, c.t_end, c.t_end},
                               c.t_ovr};
        NotePlan plan;
        EXPECT_EQ(planned(tp, src, &plan), c.result);
    }
    // Inner points out of order, which a caller building time points itself
    // could hand in: refused, so the renderer never writes outside the note.
    const TimePoints tp = {{10, 5, 20, 20, 20, 20, 20}, 0};
    SourceInfo src = source_of(Samples(4, 0));
    src.sample_rate = 1000000;
    NotePlan plan;
    EXPECT_EQ(planned(tp, src, &plan), Code::note_range);
}

TEST(PlanNote, CountsWholeFramesOfTheBytesLoaded)
{
    struct Case {
        const char *what;
        std::uint16_t channels, block_align; // 0: 2 * channels
        std::int64_t data_size;               // -1: the samples' bytes
        std::size_t samples;
        std::int32_t frames_available;
    } cases[] = {
        {"mono", 1, 0, -1, 10, 10},
        {"data_size past the file's end", 1, 0, 1000, 10, 10},
        {"data_size short of the file's end", 1, 0, 8, 10, 4},
        {"partial mono frame", 1, 0, 7, 10, 3},
        {"stereo", 2, 0, -1, 10, 5},
        {"partial stereo frame", 2, 0, 10, 10, 2},
        {"half a stereo frame loaded", 2, 0, -1, 9, 4},
        {"half a stereo frame past a longer data_size", 2, 0, 1000, 9, 4},
        {"three channels", 3, 0, -1, 10, 3},
        {"padded mono frames", 1, 4, -1, 10, 5},
        {"no samples", 1, 0, -1, 0, 0},
        // A streaming writer's 0xFFFFFFFF, and any other negative size: to the end.
        {"data_size of -1", 1, 0, 0xffffffff, 10, 10},
        {"data_size of -2", 1, 0, 0xfffffffe, 10, 10},
        {"data_size of -1, stereo with half a frame", 2, 0, 0xffffffff, 9, 4},
        {"data_size of -2^31", 1, 0, 0x80000000, 10, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WavSpec shape;
        shape.channels = c.channels;
        shape.block_align = c.block_align;
        shape.data_size = c.data_size;
        const SourceInfo src = source_of(make_wav(Samples(c.samples, 7), shape));
        NotePlan plan;
        ASSERT_EQ(planned(TimePoints{}, src, &plan), Code::ok);
        EXPECT_EQ(plan.frames_available, c.frames_available);
    }
    // A block_align of 0 (which read_source refuses) holds no frames.
    SourceInfo src = source_of(Samples(10, 7));
    src.block_align = 0;
    NotePlan plan;
    ASSERT_EQ(planned(TimePoints{}, src, &plan), Code::ok);
    EXPECT_EQ(plan.frames_available, 0);
}

TEST(RenderNote, EnvelopeSegments)
{
    const Samples k1000(12, 1000);
    const RenderCase cases[] = {
        {"rise of segment 1, then segment 2", Samples(8, 1000), 1, {0, 4, 8, 8, 8, 8, 8},
         unity, Samples(8, 0), {0, 250, 500, 750, 1000, 1000, 1000, 1000}},
        {"fall of segment 6", Samples(4, 1000), 1, {0, 0, 0, 0, 0, 0, 4}, unity, Samples(4, 0),
         {1000, 750, 500, 250}},
        {"truncation toward zero", {1000, 1000, 1000, -1000, -1000, -1000}, 1,
         {0, 3, 3, 3, 3, 3, 6}, unity, Samples(6, 0), {0, 333, 666, -1000, -666, -333}},
        // Two frames a segment: 0 .5 1 .25 .75 .125 0 at the seven points.
        {"each segment between its own volumes", Samples(12, 800), 1, {0, 2, 4, 6, 8, 10, 12},
         volumes(0.5, 1, 0.25, 0.75, 0.125), Samples(12, 0),
         {0, 200, 400, 600, 800, 500, 200, 400, 600, 350, 100, 50}},
        {"negative and large volumes", Samples(4, 1000), 1, {0, 0, 2, 4, 4, 4, 4},
         volumes(-1, 3, 0.5, 0, 0), Samples(4, 0), {-1000, 1000, 3000, 1750}},
        // Segment 2 is empty: frame 2 starts segment 3 at v2, not v1.
        {"coinciding frame numbers", Samples(4, 1000), 1, {0, 2, 2, 4, 4, 4, 4},
         volumes(0.5, 1, 0.25, 0, 0), Samples(4, 0), {0, 250, 1000, 625}},
        {"every frame number coinciding", Samples(4, 1000), 1, {2, 2, 2, 2, 2, 2, 2, 2},
         unity, {7, -32768}, {7, -32768}},
        {"a note starting inside the source", {1, 2, 3, 4, 5, 6}, 1, {2, 2, 5, 5, 5, 5, 5}, unity,
         Samples(3, 0), {3, 4, 5}},
    };
    for (const RenderCase &c : cases)
        check_render(c);
}

TEST(RenderNote, ArithmeticInTheStatedOrder)
{
    // 30 percent is 0.3, and (j * 0.3) / n is not j * (0.3 / n), nor
    // ((j * 0.3) + ((n - j) * 0.3)) / n always 0.3.
    const double v = 30 * 0.01;
    const RenderCase cases[] = {
        // (5 * 0.3) / 6 gives 0.25; 5 * (0.3 / 6) would give 249.
        {"rise", Samples(6, 1000), 1, {0, 6, 6, 6, 6, 6, 6}, volumes(v, 0, 0, 0, 0),
         Samples(6, 0), {0, 49, 99, 150, 199, 250}},
        {"hold", Samples(7, 1000), 1, hold(7), volumes(v, v, 0, 0, 0), Samples(7, 0),
         {300, 299, 300, 299, 299, 300, 299}},
        // ((6 - 1) * 0.3) / 6 gives 0.25; 0.3 - (1 * 0.3) / 6 would too, but
        // not 200 at j = 2.
        {"fall", Samples(6, 1000), 1, {0, 0, 0, 0, 0, 0, 6}, volumes(0, 0, 0, 0, v),
         Samples(6, 0), {300, 250, 199, 150, 99, 49}},
    };
    for (const RenderCase &c : cases)
        check_render(c);
}

TEST(RenderNote, SourceChannels)
{
    const RenderCase cases[] = {
        {"stereo mean, halves toward zero", {3, 4, -3, -4, 1, 0, -1, 0, -32768, 32767, 32767, 32767},
         2, hold(6), unity, Samples(6, 0), {3, -3, 0, 0, 0, 32767}},
        {"stereo -32768 on both channels", {-32768, -32768}, 2, hold(1), unity, Samples(1, 0),
         {-32767}},
        {"three channels take the first", {5, 100, 200, -7, 300, 400}, 3, hold(2), unity,
         Samples(2, 0), {5, -7}},
        {"four channels take the first", {9, 1, 1, 1, -9, 1, 1, 1, 8, 1, 1, 1}, 4, hold(3), unity,
         Samples(3, 0), {9, -9, 8}},
    };
    for (const RenderCase &c : cases)
        check_render(c);
}

TEST(RenderNote, FrameNumbersFollowSampleNumbers)
{
    // A frame's channels are sample numbers f * channels on, whatever
    // block_align says: padded mono frames read samples 0, 1, 2, and a
    // channel count of 0 reads sample 0 for every frame.
    struct Case {
        const char *what;
        std::uint16_t channels, block_align;
        Samples after;
    } cases[] = {
        {"mono in 4-byte frames", 1, 4, {10, 11, 12}},
        {"no channels in 2-byte frames", 0, 2, {10, 10, 10}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WavSpec shape;
        shape.channels = c.channels;
        shape.block_align = c.block_align;
        const SourceInfo src = source_of(make_wav({10, 11, 12, 13, 14, 15}, shape));
        Bytes buf(6, 0);
        EXPECT_EQ(render_note(plan_of(hold(3), 3), unity, src, 0, buf).rendered_samples, 3);
        EXPECT_EQ(samples_of(buf), c.after);
    }
}

TEST(RenderNote, ClipsToPlusMinus32767)
{
    const RenderCase cases[] = {
        {"gain 1 outside the overlap", {32767, -32768, -32767, 0}, 1, hold(4), unity,
         Samples(4, 0), {32767, -32767, -32767, 0}},
        {"gain 2 outside the overlap", {20000, -20000, 16383, -16383, -16384}, 1, hold(5),
         volumes(2, 2, 2, 2, 2), Samples(5, 0), {32767, -32767, 32766, -32766, -32767}},
        {"inside the overlap", {1, -1, 0, 50, -20, 0}, 1, hold(6, 6), unity,
         {32767, -32768, -32768, 100, 10, 32767}, {32767, -32767, -32767, 150, -10, 32767}},
        {"gain 0 inside the overlap", {30000, -30000}, 1, hold(2, 2), volumes(0, 0, 0, 0, 0),
         {-32768, 32767}, {-32767, 32767}},
        // Sums beyond the double range: infinity clips, 0 times infinity is
        // not a number and stores silence.
        {"volumes beyond the double range", {1, 0, -1}, 1, hold(3),
         volumes(DBL_MAX, DBL_MAX, 0, 0, 0), Samples(3, 0), {32767, 0, -32767}},
    };
    for (const RenderCase &c : cases)
        check_render(c);
}

TEST(RenderNote, CountsClippedSamples)
{
    struct Case {
        const char *what;
        Samples source;
        Frames at;
        Volumes v;
        Samples before;
        std::int64_t clipped;
    } cases[] = {
        {"at the limits is not beyond them", {32767, -32767, 5}, hold(3), unity, Samples(3, 0), 0},
        {"-32768 at gain 1", {-32768, 1}, hold(2), unity, Samples(2, 0), 1},
        {"gain 2", {20000, -20000, 16383, -16383, -16384}, hold(5), volumes(2, 2, 2, 2, 2), Samples(5, 0), 3},
        {"inside the overlap", {1, -1, 0}, hold(3, 3), unity, {32767, -32767, 32767}, 2},
        {"infinities clip, a NaN does not", {1, 0, -1}, hold(3), volumes(DBL_MAX, DBL_MAX, 0, 0, 0),
         Samples(3, 0), 2},
        // Runs of hundreds of frames take the fast path, most without a limit.
        {"a long note, loud in its middle", [] { Samples s(900, 100); std::fill(s.begin() + 400, s.begin() + 700, 30000); return s; }(),
         hold(900), volumes(2, 2, 2, 2, 2), Samples(900, 0), 300},
        {"a long note at the limit, never beyond it", Samples(900, 32767), hold(900), unity, Samples(900, 0), 0},
        {"past the end of the source", {30000}, hold(4), volumes(2, 2, 2, 2, 2), Samples(4, 0), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const SourceInfo src = source_of(c.source);
        Bytes buf = bytes_of(c.before);
        const Rendered r = render_note(plan_of(c.at, static_cast<std::int32_t>(c.source.size())), c.v,
                                       src, c.at.mixed, buf);
        EXPECT_EQ(r.clipped_samples, c.clipped);
    }
}

TEST(RenderNote, FramesOutsideTheSource)
{
    const RenderCase cases[] = {
        // Frames 3 and on lie past the end: silence outside the overlap, the
        // earlier output left exactly as it was inside it.
        {"past the end, no overlap", {100, 200, 300}, 1, hold(6), unity, {1, 2, 3, 4, 5, 6},
         {100, 200, 300, 0, 0, 0}},
        {"past the end inside the overlap", {100, 200, 300}, 1, hold(6, 5), unity,
         {1, 2, 3, -32768, 32767, 6}, {101, 202, 303, -32768, 32767, 0}},
        {"no source at all", {}, 1, hold(4, 2), unity, {-32768, 9, 9, 9},
         {-32768, 9, 0, 0}},
        // Frames -3 to -1 read as 0 and go through clipping.
        {"before the start, no overlap", {100, 200}, 1, {-3, -3, 2, 2, 2, 2, 2}, unity,
         {1, 2, 3, 4, 5}, {0, 0, 0, 100, 200}},
        {"before the start inside the overlap", {100, 200}, 1, {-3, -3, 2, 2, 2, 2, 2, 4}, unity,
         {-32768, 32767, -5, 4, 5}, {-32767, 32767, -5, 104, 200}},
        {"before the start and past the end", {100}, 1, {-2, -2, 3, 3, 3, 3, 3}, unity,
         {1, 2, 3, 4, 5}, {0, 0, 100, 0, 0}},
        {"stereo past the end", {10, 20, 30, 40}, 2, hold(4), unity, {5, 5, 5, 5},
         {15, 35, 0, 0}},
    };
    for (const RenderCase &c : cases)
        check_render(c);
}

TEST(RenderNote, PartialFramesAreNeverRead)
{
    // data_size cuts the last stereo frame in half, and the loaded bytes end
    // half way through the frame after; neither half is read.
    struct Case {
        const char *what;
        std::int64_t data_size;
        Samples source;
    } cases[] = {
        {"data_size short of the loaded bytes", 10, {10, 20, 30, 40, 32767, 32767}},
        {"loaded bytes short of data_size", 1000, {10, 20, 30, 40, 32767}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WavSpec shape;
        shape.channels = 2;
        shape.data_size = c.data_size;
        const SourceInfo src = source_of(make_wav(c.source, shape));
        NotePlan plan;
        ASSERT_EQ(planned(TimePoints{}, src, &plan), Code::ok);
        ASSERT_EQ(plan.frames_available, 2);
        Bytes buf = bytes_of({1, 2, 3});
        EXPECT_EQ(render_note(plan_of(hold(3), 2), unity, src, 0, buf).rendered_samples, 3);
        EXPECT_EQ(samples_of(buf), (Samples{15, 35, 0}));
    }
}

TEST(RenderNote, OverlapsOfEveryLength)
{
    const Samples src = {100, 200, 300};
    const RenderCase cases[] = {
        // The note covers positions 0 to 2; 3 to 5 keep what was read back.
        {"longer than the note", src, 1, hold(3, 6), unity, {1, 2, 3, -32768, 5, 6},
         {101, 202, 303, -32768, 5, 6}},
        {"as long as the note", src, 1, hold(3, 3), unity, {1, 2, 3}, {101, 202, 303}},
        {"part of the note", src, 1, hold(3, 1), unity, {1, 2, 3}, {101, 200, 300}},
        {"none", src, 1, hold(3, 0), unity, {1, 2, 3}, {100, 200, 300}},
        {"a gap", src, 1, hold(3, -2), unity, {1, 2, 3}, {100, 200, 300}},
        {"an empty note inside an overlap", src, 1, {0, 0, 0, 0, 0, 0, 0, 3}, unity, {1, 2, 3},
         {1, 2, 3}},
    };
    for (const RenderCase &c : cases)
        check_render(c);
}

TEST(RenderNote, ShortFormPassesSamplesThrough)
{
    // offset 0, length 65540 ms, p1 2 ms, p2 2 ms at 1000 frames per second:
    // frames 0, 2, 65538, 65538, 65540, 65540, 65540. Segment 2 holds every
    // 16-bit value once at gain exactly 1.0; segment 4 falls from 1.0 to 0.
    const char *argv[] = {"segmix", "out", "in", "0", "65540", "2", "2"};
    NoteArgs args;
    TimePoints tp;
    ASSERT_TRUE(read_note_args(7, argv, &args, &tp));
    Samples source = {1000, 1000};
    for (std::int32_t v = -32768; v <= 32767; ++v)
        source.push_back(static_cast<std::int16_t>(v));
    source.push_back(1000);
    source.push_back(1000);
    WavSpec shape;
    shape.sample_rate = 1000;
    const SourceInfo src = source_of(make_wav(source, shape));
    NotePlan plan;
    ASSERT_EQ(planned(tp, src, &plan), Code::ok);
    ASSERT_EQ(plan.i, (std::array<std::int32_t, pt::count>{0, 2, 65538, 65538, 65540, 65540, 65540}));
    Bytes buf(static_cast<std::size_t>(plan.buffer_bytes), 0);
    ASSERT_EQ(render_note(plan, volumes_of(args), src, 0, buf).rendered_samples, 65540);
    const Samples out = samples_of(buf);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 500);
    EXPECT_EQ(out[2], -32767); // -32768 is never stored
    for (std::int32_t p = 3; p < 65538; ++p)
        ASSERT_EQ(out[static_cast<std::size_t>(p)], source[static_cast<std::size_t>(p)]) << p;
    EXPECT_EQ(out[65538], 1000);
    EXPECT_EQ(out[65539], 500);
}

// The rendering of a note written out frame by frame from its definition, with
// nothing shared with render_note but the plan: the source samples come from
// the values the file was made of, not from the loaded block.
Samples reference_render(const NotePlan &plan, const Volumes &a, std::int32_t mixed,
                         const Samples &source, std::int32_t channels, Samples out,
                         std::int32_t *rendered, std::int64_t *clipped)
{
    *clipped = 0;
    const std::array<std::int32_t, pt::count> &at = plan.i;
    const double begin[6] = {0, a.v1, a.v2, a.v5, a.v3, a.v4};
    const double end[6] = {a.v1, a.v2, a.v5, a.v3, a.v4, 0};
    auto sample = [&](std::int64_t k) -> double {
        return k < 0 ? 0.0 : source.at(static_cast<std::size_t>(k));
    };
    *rendered = 0;
    for (int s = 0; s < 6; ++s) {
        const std::int32_t from = at[s], to = at[s + 1];
        if (to <= from)
            continue;
        const std::int32_t n = to - from;
        *rendered += n;
        for (std::int32_t f = from; f < to; ++f) {
            const std::int32_t j = f - from;
            const std::int32_t p = f - plan.i[pt::start];
            std::int16_t &at_p = out.at(static_cast<std::size_t>(p));
            if (f >= plan.frames_available) {
                if (p >= mixed)
                    at_p = 0;
                continue;
            }
            double g;
            if (s == 0)
                g = (static_cast<double>(j) * end[s]) / static_cast<double>(n);
            else if (s == 5)
                g = (static_cast<double>(n - j) * begin[s]) / static_cast<double>(n);
            else
                g = ((static_cast<double>(j) * end[s]) +
                     (static_cast<double>(n - j) * begin[s])) /
                    static_cast<double>(n);
            double x;
            if (f < 0) {
                x = 0; // before the source's start, whatever the channel count
            } else if (channels == 2) {
                const double l = sample(2 * std::int64_t{f});
                const double r = sample(2 * std::int64_t{f} + 1);
                x = (r + l) * 0.5;
            } else {
                x = sample(std::int64_t{f} * channels);
            }
            double y = x * g;
            if (p < mixed)
                y = y + at_p;
            if (y > 32767.0) {
                at_p = 32767;
                ++*clipped;
            } else if (y < -32767.0) {
                at_p = -32767;
                ++*clipped;
            } else {
                at_p = static_cast<std::int16_t>(y);
            }
        }
    }
    return out;
}

TEST(RenderNote, MatchesTheFrameByFrameDefinition)
{
    std::mt19937 rng(20240611);
    auto uniform = [&](std::int32_t lo, std::int32_t hi) {
        return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
    };
    auto chance = [&](int percent) { return uniform(0, 99) < percent; };
    // Mostly ordinary values, often the extremes.
    auto value = [&]() -> std::int16_t {
        switch (uniform(0, 5)) {
        case 0:
            return -32768;
        case 1:
            return 32767;
        case 2:
            return static_cast<std::int16_t>(uniform(-3, 3));
        default:
            return static_cast<std::int16_t>(uniform(-32768, 32767));
        }
    };
    auto volume = [&]() -> double {
        switch (uniform(0, 4)) {
        case 0:
            return 1.0;
        case 1:
            return 0.0;
        case 2:
            return std::uniform_real_distribution<double>(-3, 3)(rng);
        default:
            return uniform(-300, 300) * 0.01; // as the command line gives them
        }
    };
    const double rates[] = {44100, 22050, 1000000};
    const std::uint16_t channel_counts[] = {1, 2, 3, 0};

    for (int iteration = 0; iteration < 4000; ++iteration) {
        // The source: mostly short, now and then long; sometimes padded
        // frames, a data_size off the loaded bytes either way, or a partial
        // frame at the end.
        const std::uint16_t channels = channel_counts[uniform(0, 3)];
        const int read = channels == 0 ? 1 : channels;
        WavSpec shape;
        shape.channels = channels;
        shape.block_align = static_cast<std::uint16_t>(2 * read + (chance(15) ? 2 : 0));
        shape.sample_rate = static_cast<std::int32_t>(rates[uniform(0, 2)]);
        const std::int32_t frames = chance(20) ? uniform(0, 1500) : uniform(0, 200);
        Samples source(static_cast<std::size_t>(frames * shape.block_align / 2 + uniform(0, 1)));
        for (std::int16_t &s : source)
            s = value();
        const auto bytes = static_cast<std::int32_t>(2 * source.size());
        switch (uniform(0, 3)) {
        case 0:
            shape.data_size = uniform(0, bytes);
            break;
        case 1:
            shape.data_size = bytes + uniform(1, 1000);
            break;
        default:
            break; // the samples' bytes
        }
        const SourceInfo src = source_of(make_wav(source, shape));

        // The note: random frame-sized steps in microseconds, often empty,
        // now and then hundreds of frames long, from before the source's start
        // to past its end.
        const double us = 1000000.0 / shape.sample_rate;
        TimePoints tp;
        double t = (uniform(-60, frames + 20) + uniform(0, 99) * 0.01) * us;
        for (double &point : tp.t) {
            point = t;
            if (!chance(25))
                t += (uniform(0, chance(10) ? 700 : 50) + uniform(0, 99) * 0.01) * us;
        }
        const double note = tp.t[pt::end] - tp.t[pt::start];
        tp.t_ovr = chance(20) ? 0 : (uniform(-100, 100) * 0.015 - 0.25) * note + uniform(-3, 3) * us;
        NotePlan plan;
        ASSERT_EQ(planned(tp, src, &plan), Code::ok);
        ASSERT_EQ(plan.buffer_bytes, 2 * (plan.i[pt::end] - plan.i[pt::start]) + plan.overhang_bytes);
        // Now and then no earlier output, as when there is no header file.
        const std::int32_t mixed = chance(10) ? 0 : plan.overlap_samples;

        const Volumes gains = volumes(volume(), volume(), volume(), volume(), volume());

        // Earlier output over the whole buffer: positions outside the
        // overlap must be written over, those past the note left alone.
        Samples before(static_cast<std::size_t>(plan.buffer_bytes / 2));
        for (std::int16_t &s : before)
            s = value();
        Bytes buf = bytes_of(before);
        std::int32_t expected_count = 0;
        std::int64_t expected_clipped = 0;
        const Samples expected = reference_render(plan, gains, mixed, source, channels, before,
                                                  &expected_count, &expected_clipped);

        const Rendered r = render_note(plan, gains, src, mixed, buf);
        ASSERT_EQ(r.rendered_samples, expected_count) << "iteration " << iteration;
        ASSERT_EQ(r.rendered_samples, plan.i[pt::end] - plan.i[pt::start]) << "iteration " << iteration;
        ASSERT_EQ(r.clipped_samples, expected_clipped) << "iteration " << iteration;
        ASSERT_EQ(samples_of(buf), expected) << "iteration " << iteration;
    }
}

} // namespace
