// What rendering a note consumes, as the front end fills it in: the seven time
// points, the overlap and the five volumes.
#pragma once

#include <array>
#include <cstddef>

// The points of a note's envelope, in their order along the note. The gain
// runs linearly from 0 at start through v1, v2, v5, v3 and v4 to 0 at end.
namespace pt {
enum Point : std::size_t { start, p1, p2, p5, p3, p4, end };
inline constexpr std::size_t count = 7;
} // namespace pt

// Microseconds from the start of the source, indexed by pt; never decreasing
// once the front end has checked them. t_ovr is the overlap with the earlier
// output: positive mixes, negative leaves a gap.
struct TimePoints {
    std::array<double, pt::count> t{};
    double t_ovr = 0;
};

// Gain factors (the command line's percentages times 0.01).
struct Volumes {
    double v1 = 0, v2 = 0, v3 = 0, v4 = 0, v5 = 0;
};
