// Where each note of a phrase lands in the output, from the plans alone: the
// rules by which a run places its segment buffer in the data file, replayed
// over the lines of a phrase that starts from no output at all.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "render/plan.h"

namespace view {

// One line of a phrase, as the placement sees it.
struct Step {
    bool runs = false; // false: the run is refused before the output is touched
    NotePlan plan;     // the note's plan, when it runs
};

// A span of the final data file, in bytes: [from, to).
struct Span {
    std::int64_t from = 0, to = 0;

    std::int64_t bytes() const { return to - from; }
    bool empty() const { return to <= from; }
    bool operator==(const Span &) const = default;
};

enum class Fate {
    refused,     // refused before the output is touched (Step::runs false)
    too_large,   // refused because the output would pass 2 GiB
    landed,
};

// Where one line's note is in the final data file (all spans in bytes, in the
// coordinates of the file after the last line: a later note that mixes in
// front of the whole output shifts this one right).
struct Placed {
    Fate fate = Fate::refused;
    bool fresh = false; // the note started the output: nothing mixed, no gap
    Span note;          // the note itself: i[end] - i[start] frames at 2 bytes
    Span buffer;        // the segment buffer written: the note and its overhang
    Span mixed;         // the part of the note laid over earlier output; empty when none
    Span gap;           // silence appended before the note; empty when none
    bool operator==(const Placed &) const = default;
};

struct Placement {
    std::vector<Placed> notes;   // one per step, in order
    std::int64_t data_bytes = 0; // the data file's length after the last line
};

// Places every step in order. A fresh output (the first note that lands)
// takes the note at 0 and mixes nothing; after it, with D the data file's
// length before the note and ov its plan's overlap_bytes:
//   0 < ov < D: the buffer goes at D - ov, its head over the last ov bytes;
//   ov >= D > 0 or D == 0 < ov: the buffer goes at 0 and the earlier output
//     moves right by ov - D (silence in front of it), so its head mixes into
//     all of it;
//   ov < 0: -ov bytes of silence, then the buffer;
//   ov == 0: the buffer at D.
// The data file then ends where the buffer does (never shorter than before,
// since a buffer holds at least its overlap).
// A note is refused (too_large) when the header's riff_size, 36 bytes more than
// the data, would pass the signed 32-bit range.
Placement place_notes(std::span<const Step> steps);

} // namespace view
