// The picture of a phrase: its layout (rows of pixel columns at a fixed time
// scale) and the SVG document, written by hand so that the same phrase always
// gives the same bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/plan.h"
#include "view/place.h"
#include "view/reduce.h"

namespace view {

// The layout, in pixels. A second of output is per_second columns wide; a row
// holds at most row_columns of them (8 s), so a long phrase is drawn in rows
// of the same scale rather than squeezed.
namespace layout {
inline constexpr std::int32_t per_second = 200;
inline constexpr std::int64_t row_columns = 1600;
inline constexpr int left = 24, right = 24; // margins beside the rows
inline constexpr int min_width = 720;       // room for the header line
inline constexpr int header = 56;           // the outfile and the facts
inline constexpr int header_line = 18;      // each further line of the header
// A row, top to bottom: the label lane (the note bands with their names), the
// clip lane (red ticks), the waveform, the time axis, and space.
inline constexpr int label_lane = 18, clip_lane = 10, wave = 100, axis = 22, space = 12;
inline constexpr int row = label_lane + clip_lane + wave + axis + space;
inline constexpr int list_head = 26, list_line = 16; // the list of lines that changed nothing
inline constexpr std::size_t list_max = 200;         // lines listed; the rest are counted
// About the advance of one character of the label font (11 px), in tenths of
// a pixel: a digit of DejaVu Sans is 7 px, most letters less.
inline constexpr int char_tenths = 64;
} // namespace layout

// The band colours that alternate from note to note, and the red of clips.
inline constexpr std::array<const char *, 2> band_fill = {"#dbe8f5", "#e0efd6"};
inline constexpr std::array<const char *, 2> envelope_stroke = {"#2b6cb0", "#3d7f34"};
inline constexpr const char *clip_red = "#d62828";

// A note that landed, with everything its marks and its hover text show.
struct NoteView {
    long line = 0;          // its line in the notes file, from 1
    std::string text;       // the line as written
    std::string source;     // infile as written
    bool rest = false;      // the source is missing: the note is silence
    std::int32_t source_rate = 0;
    NotePlan plan;
    std::array<double, pt::count> gains{}; // the envelope's gain at each point
    Placed where;           // its spans in the data file, in bytes
    std::int64_t clipped = 0;
};

// A line whose run would be refused, or that cannot be read: it changed nothing.
struct LineView {
    long line = 0;
    std::string text;
    std::string why;
};

struct Picture {
    std::string outfile;
    std::int32_t rate = 0;      // the header's sample_rate, positive
    std::int64_t samples = 0;   // in the data file
    std::vector<Column> columns;
    int peak = 0;
    std::int64_t clipped = 0;   // in the whole output
    std::vector<NoteView> notes;
    std::vector<LineView> refused;
    std::string warning;        // a line in the header when the files disagree with the notes
};

// A row: its first column and the column after its last.
struct Row {
    std::int64_t from = 0, to = 0;
    bool operator==(const Row &) const = default;
};

// Columns broken into rows of at most per_row (at least one row, empty when
// there are no columns).
std::vector<Row> break_rows(std::int64_t columns, std::int64_t per_row);

// The position of output sample s in tenths of a pixel from the phrase's start.
std::int64_t x_tenths(std::int64_t s, std::int32_t rate);

struct Size {
    int width = 0, height = 0;
    bool operator==(const Size &) const = default;
};

// The picture's size: its rows' width (at least min_width) and the height of
// the header, the rows and the list of lines that changed nothing.
Size picture_size(const Picture &p);

// The y, from the top, of the first row (its label lane's top), and the height
// of the header above it.
int rows_top(const Picture &p);

// The whole document.
std::string phrase_svg(const Picture &p);

} // namespace view
