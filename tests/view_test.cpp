// segmix-view: where notes land (the placement rules as tables of plans), the
// reduction of samples to pixel columns, rows, text and numbers, and the tool
// over phrases rendered by the real runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "front/batch.h"
#include "front/view.h"
#include "messages.h"
#include "util.h"
#include "view/place.h"
#include "view/reduce.h"
#include "view/svg.h"
#include "view/text.h"

namespace {

using view::Fate;
using view::Placed;
using view::Span;
using view::Step;

// The plan of a note of frames frames with an overlap of ov samples, sized as
// plan_note sizes it.
Step note(std::int32_t frames, std::int32_t ov)
{
    Step s;
    s.runs = true;
    s.plan.i = {10, 10, 10, 10, 10, 10, 10 + frames};
    s.plan.overlap_samples = ov;
    s.plan.overlap_bytes = 2 * ov;
    s.plan.buffer_bytes = std::max(2 * frames, 2 * ov);
    s.plan.overhang_bytes = s.plan.buffer_bytes - 2 * frames;
    return s;
}

const Step refused{};

} // namespace

// Readable failures: spans in bytes.
namespace view {
void PrintTo(const Span &s, std::ostream *os)
{
    *os << "[" << s.from << ", " << s.to << ")";
}
void PrintTo(const Placed &p, std::ostream *os)
{
    *os << "{fate " << static_cast<int>(p.fate) << (p.fresh ? ", fresh" : "") << ", note ";
    PrintTo(p.note, os);
    *os << ", buffer ";
    PrintTo(p.buffer, os);
    *os << ", mixed ";
    PrintTo(p.mixed, os);
    *os << ", gap ";
    PrintTo(p.gap, os);
    *os << "}";
}
} // namespace view

namespace {

// Spans in samples, as the tables write them; the placement works in bytes.
Span S(std::int64_t from, std::int64_t to)
{
    return {2 * from, 2 * to};
}

Placed landed(Span note, Span buffer, Span mixed = {}, Span gap = {}, bool fresh = false)
{
    return {Fate::landed, fresh, note, buffer, mixed, gap};
}

Placed first(Span note, Span buffer)
{
    return landed(note, buffer, {}, {}, true);
}

Placed fate(Fate f)
{
    Placed p;
    p.fate = f;
    return p;
}

TEST(ViewPlace, WhereEachNoteLands)
{
    struct Case {
        const char *what;
        std::vector<Step> steps;
        std::vector<Placed> placed;
        std::int64_t data_samples;
    } cases[] = {
        {"a fresh output takes the note at 0", {note(100, 0)}, {first(S(0, 100), S(0, 100))}, 100},
        {"a fresh output leaves no gap", {note(100, -50)}, {first(S(0, 100), S(0, 100))}, 100},
        {"a fresh output mixes nothing; a longer overlap pads the buffer with silence",
         {note(100, 150)}, {first(S(0, 100), S(0, 150))}, 150},
        {"nothing that was refused before it makes a note less fresh",
         {refused, note(100, -20), refused, note(100, 10)},
         {fate(Fate::refused), first(S(0, 100), S(0, 100)), fate(Fate::refused),
          landed(S(90, 190), S(90, 190), S(90, 100))},
         190},
        {"no overlap appends",
         {note(100, 0), note(50, 0)},
         {first(S(0, 100), S(0, 100)), landed(S(100, 150), S(100, 150))},
         150},
        {"an overlap shorter than the output mixes the head into its tail",
         {note(100, 0), note(100, 20)},
         {first(S(0, 100), S(0, 100)), landed(S(80, 180), S(80, 180), S(80, 100))},
         180},
        {"a gap of silence, then the note",
         {note(100, 0), note(50, -30)},
         {first(S(0, 100), S(0, 100)), landed(S(130, 180), S(130, 180), {}, S(100, 130))},
         180},
        {"an overhang keeps the earlier output past the note's end",
         {note(100, 0), note(10, 50), note(20, 0)},
         {first(S(0, 100), S(0, 100)), landed(S(50, 60), S(50, 100), S(50, 60)),
          landed(S(100, 120), S(100, 120))},
         120},
        {"an overlap as long as the output lays the note over all of it",
         {note(100, 0), note(150, 100)},
         {first(S(0, 100), S(0, 100)), landed(S(0, 150), S(0, 150), S(0, 100))},
         150},
        {"a longer overlap moves the earlier output right, silence in front of it",
         {note(100, 0), note(200, 150)},
         {first(S(50, 150), S(50, 150)), landed(S(0, 200), S(0, 200), S(50, 150))},
         200},
        {"a note that ends before the moved output mixes with none of it",
         {note(100, 0), note(30, 150)},
         {first(S(50, 150), S(50, 150)), landed(S(0, 30), S(0, 150))},
         150},
        {"moves add up, and a gap moves with the output",
         {note(100, 0), note(20, -10), note(50, 150), note(100, 400)},
         {first(S(270, 370), S(270, 370)), landed(S(380, 400), S(380, 400), {}, S(370, 380)),
          landed(S(250, 300), S(250, 400), S(270, 300)), landed(S(0, 100), S(0, 400))},
         400},
        {"an empty output that exists is not fresh: a positive overlap puts the note at 0",
         {note(0, 0), note(40, 10)},
         {first(S(10, 10), S(10, 10)), landed(S(0, 40), S(0, 40))},
         40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const view::Placement p = view::place_notes(c.steps);
        EXPECT_EQ(p.notes, c.placed);
        EXPECT_EQ(p.data_bytes, 2 * c.data_samples);
    }
}

// riff_size (36 more than the data) must stay a signed 32-bit value: a note
// that would pass it is refused and changes nothing.
TEST(ViewPlace, RefusesWhatWouldPassTwoGiB)
{
    const std::int32_t fits = 1073741805; // 2147483610 bytes: riff_size 2147483646
    struct Case {
        std::vector<Step> steps;
        std::vector<Fate> fates;
        std::int64_t data_bytes;
    } cases[] = {
        {{note(fits, 0)}, {Fate::landed}, 2147483610},
        {{note(fits + 1, 0)}, {Fate::too_large}, 0},
        {{note(fits + 1, 0), note(10, 0)}, {Fate::too_large, Fate::landed}, 20},
        {{note(10, 0), note(fits - 10, 0)}, {Fate::landed, Fate::landed}, 2147483610},
        {{note(10, 0), note(fits - 9, 0), note(5, 0)}, {Fate::landed, Fate::too_large, Fate::landed}, 30},
        {{note(10, 0), note(fits - 10, 1), note(1, -1)}, {Fate::landed, Fate::landed, Fate::too_large},
         2147483608},
    };
    for (const Case &c : cases) {
        const view::Placement p = view::place_notes(c.steps);
        std::vector<Fate> fates;
        for (const Placed &n : p.notes)
            fates.push_back(n.fate);
        EXPECT_EQ(fates, c.fates);
        EXPECT_EQ(p.data_bytes, c.data_bytes);
    }
}

TEST(ViewReduce, ColumnsOfSamples)
{
    struct Case {
        std::int32_t rate;
        std::int64_t samples, columns;
        std::vector<std::int64_t> starts; // of columns 0, 1, 2, ...
    } cases[] = {
        {44100, 0, 0, {0, 221, 441, 662}},
        {44100, 1, 1, {}},
        {44100, 221, 1, {}},
        {44100, 222, 2, {}},
        {44100, 44100, 200, {}},
        {1000, 5, 1, {0, 5, 10}},
        {1000, 6, 2, {}},
        {100, 2, 3, {0, 1, 1, 2, 2}}, // fewer samples than columns: every other column holds none
        {200, 3, 3, {0, 1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(view::columns_for(c.samples, c.rate, 200), c.columns) << c.samples;
        for (std::size_t k = 0; k < c.starts.size(); ++k)
            EXPECT_EQ(view::column_start(static_cast<std::int64_t>(k), c.rate, 200), c.starts[k]) << k;
    }
}

TEST(ViewReduce, MinMaxClipsAndPeakPerColumn)
{
    using view::Column;
    // Two samples a column (rate 400 at 200 columns a second).
    const Samples s = {1, -3, 32767, 5, -32767, -32768, 0, 0, 7};
    struct Case {
        const char *what;
        std::int64_t samples;   // the output's length as the reducer is told it
        std::size_t chunk;      // bytes fed at a time
        std::vector<Column> columns;
        int peak;
        std::int64_t clipped;
    } cases[] = {
        {"whole", 9, 100,
         {{-3, 1, false, true}, {5, 32767, true, true}, {-32768, -32767, true, true},
          {0, 0, false, true}, {7, 7, false, true}},
         32768, 2},
        {"a byte at a time", 9, 1,
         {{-3, 1, false, true}, {5, 32767, true, true}, {-32768, -32767, true, true},
          {0, 0, false, true}, {7, 7, false, true}},
         32768, 2},
        {"three bytes at a time, samples split between feeds", 9, 3,
         {{-3, 1, false, true}, {5, 32767, true, true}, {-32768, -32767, true, true},
          {0, 0, false, true}, {7, 7, false, true}},
         32768, 2},
        {"what lies past the output's length is not read", 3, 100,
         {{-3, 1, false, true}, {32767, 32767, true, true}}, 32767, 1},
    };
    const Bytes bytes = bytes_of(s);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        view::Reducer r(c.samples, 400, 200, {0, 2, 3, 5, 100});
        for (std::size_t at = 0; at < bytes.size(); at += c.chunk)
            r.feed({bytes.data() + at, std::min(c.chunk, bytes.size() - at)});
        EXPECT_EQ(r.columns(), c.columns);
        EXPECT_EQ(r.peak(), c.peak);
        EXPECT_EQ(r.clipped(), c.clipped);
    }
    // Clipped samples before each mark: before 0, 2 (32767 is sample 2), 3, 5
    // (-32767 is sample 4, -32768 does not count), and past the end.
    view::Reducer r(9, 400, 200, {0, 2, 3, 5, 100});
    r.feed(bytes);
    EXPECT_EQ(r.clipped_before(), (std::vector<std::int64_t>{0, 0, 1, 2, 2}));
    // Columns that hold no sample stay empty: at 100 samples a second, every
    // other column.
    view::Reducer sparse(2, 100, 200, {});
    sparse.feed(bytes_of({-4, 9}));
    EXPECT_EQ(sparse.columns(),
              (std::vector<Column>{{-4, -4, false, true}, {}, {9, 9, false, true}}));
}

TEST(ViewLayout, RowsAndSize)
{
    struct RowCase {
        std::int64_t columns, per_row;
        std::vector<view::Row> rows;
    } rows[] = {
        {0, 1600, {{0, 0}}},
        {1, 1600, {{0, 1}}},
        {1600, 1600, {{0, 1600}}},
        {1601, 1600, {{0, 1600}, {1600, 1601}}},
        {4000, 1600, {{0, 1600}, {1600, 3200}, {3200, 4000}}},
    };
    for (const RowCase &c : rows)
        EXPECT_EQ(view::break_rows(c.columns, c.per_row), c.rows) << c.columns;

    namespace l = view::layout;
    const view::LineView line{3, "x", "invalid parameters"};
    struct SizeCase {
        const char *what;
        std::int64_t columns;
        std::size_t refused;
        bool warning;
        view::Size size;
    } sizes[] = {
        {"nothing drawn: one empty row", 0, 0, false, {l::min_width, l::header + l::row}},
        {"short: at least the header's width", 300, 0, false, {l::min_width, l::header + l::row}},
        {"the width follows the duration", 1000, 0, false, {1048, l::header + l::row}},
        {"one full row", 1600, 0, false, {1648, l::header + l::row}},
        {"then rows of the same scale", 3201, 0, false, {1648, l::header + 3 * l::row}},
        {"a refused line: a header line and the list", 1000, 1, false,
         {1048, l::header + l::header_line + l::row + l::list_head + l::list_line}},
        {"a warning: a header line", 1000, 0, true, {1048, l::header + l::header_line + l::row}},
        {"a long list is cut, with a line that counts the rest", 1000, l::list_max + 5, false,
         {1048, l::header + l::header_line + l::row + l::list_head +
                    l::list_line * static_cast<int>(l::list_max + 1)}},
    };
    for (const SizeCase &c : sizes) {
        SCOPED_TRACE(c.what);
        view::Picture p;
        p.rate = 44100;
        p.columns.resize(static_cast<std::size_t>(c.columns));
        p.refused.assign(c.refused, line);
        if (c.warning)
            p.warning = "the files disagree";
        EXPECT_EQ(view::picture_size(p), c.size);
        const std::string svg = view::phrase_svg(p);
        const std::string head = "width=\"" + std::to_string(c.size.width) + "\" height=\"" +
                                 std::to_string(c.size.height) + "\"";
        EXPECT_NE(svg.find(head), std::string::npos);
    }
    EXPECT_EQ(view::x_tenths(44100, 44100), 2000);
    EXPECT_EQ(view::x_tenths(220, 44100), 9);
    EXPECT_EQ(view::x_tenths(221, 44100), 10);
    EXPECT_EQ(view::x_tenths(5, 1000), 10);
}

TEST(ViewText, NumbersWhateverTheLocale)
{
    // A locale that writes decimal commas, where there is one, must change nothing.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8");
    struct Decimal {
        std::int64_t value;
        int decimals;
        const char *text;
    } decimals[] = {
        {12345, 2, "123.45"}, {-5, 1, "-0.5"}, {7, 0, "7"},           {0, 3, "0.000"},
        {-12, 3, "-0.012"},   {1000, 3, "1.000"}, {INT64_MIN, 0, "-9223372036854775808"},
        {INT64_MAX, 18, "9.223372036854775807"},
    };
    for (const Decimal &c : decimals)
        EXPECT_EQ(view::decimal(c.value, c.decimals), c.text) << c.value;
    struct Fixed {
        double v;
        int decimals;
        const char *fixed, *trimmed;
    } fixeds[] = {
        {2.5, 0, "3", "3"},
        {-2.5, 0, "-3", "-3"},
        {0.25, 1, "0.3", "0.3"},
        {0.85, 4, "0.8500", "0.85"},
        {2, 4, "2.0000", "2"},
        {-0.04, 1, "0.0", "0"},
        {-0.0, 2, "0.00", "0"},
        {123.456, 2, "123.46", "123.46"},
        {std::nan(""), 1, "0.0", "0"},
        {1e300, 0, "9007199254740992", "9007199254740992"},
        {-HUGE_VAL, 1, "-900719925474099.2", "-900719925474099.2"},
    };
    for (const Fixed &c : fixeds) {
        EXPECT_EQ(view::fixed(c.v, c.decimals), c.fixed) << c.v;
        EXPECT_EQ(view::trimmed(c.v, c.decimals), c.trimmed) << c.v;
    }
    struct Peak {
        int peak;
        const char *text;
    } peaks[] = {
        {0, "-inf dBFS"}, {32767, "0.0 dBFS"}, {32768, "0.0 dBFS"}, {16384, "-6.0 dBFS"},
        {3277, "-20.0 dBFS"}, {1, "-90.3 dBFS"},
    };
    for (const Peak &c : peaks)
        EXPECT_EQ(view::peak_dbfs(c.peak), c.text) << c.peak;
    std::setlocale(LC_ALL, before.c_str());
    if (!comma)
        std::printf("(no locale with decimal commas here: numbers checked in \"%s\" only)\n", before.c_str());
}

TEST(ViewText, EscapedForXmlAndShortened)
{
    const std::string bad = "\xef\xbf\xbd"; // U+FFFD
    struct Escape {
        std::string text, xml;
    } escapes[] = {
        {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
        {"&amp;", "&amp;amp;"},
        {"caf\xc3\xa9 \xe2\x99\xa9 \xf0\x9f\x8e\xb5", "caf\xc3\xa9 \xe2\x99\xa9 \xf0\x9f\x8e\xb5"},
        {"tab\there\r\n", "tab\there\r\n"},
        {"\x01\x1f\x7f", bad + bad + bad},
        {"\xff", bad},
        {"\xc3", bad},                        // cut short
        {"\xc0\xaf", bad + bad},              // overlong
        {"\xed\xa0\x80", bad + bad + bad},    // a surrogate
        {"\xf4\x90\x80\x80", bad + bad + bad + bad}, // past U+10FFFF
        {"\xef\xbf\xbe\xef\xbf\xbf", bad + bad}, // U+FFFE, U+FFFF
        {"\x83\x70\x83\x89", bad + "p" + bad + bad}, // Shift-JIS bytes
    };
    for (const Escape &c : escapes)
        EXPECT_EQ(view::xml_text(c.text), c.xml) << c.text;
    struct Shorten {
        std::string text;
        std::size_t max;
        std::string shortened;
    } shortens[] = {
        {"voice.wav", 20, "voice.wav"},
        {"voice.wav", 9, "voice.wav"},
        {"voice.wav", 8, "voice.w\xe2\x80\xa6"},
        {"voice.wav", 1, "\xe2\x80\xa6"},
        {"voice.wav", 0, ""},
        {"", 0, ""},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 3, "\xc3\xa9\xc3\xa9\xc3\xa9"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 2, "\xc3\xa9\xe2\x80\xa6"}, // never inside a character
        {"a\xff\x62\x63", 3, "a\xff\xe2\x80\xa6"},              // an ill-formed byte is one
    };
    for (const Shorten &c : shortens)
        EXPECT_EQ(view::shorten(c.text, c.max), c.shortened) << c.text << " " << c.max;
    struct Name {
        const char *path, *name;
    } names[] = {
        {"a/b/c.wav", "c.wav"}, {"C:\\take 2\\y.wav", "y.wav"}, {"plain", "plain"}, {"dir/", ""},
    };
    for (const Name &c : names)
        EXPECT_EQ(view::file_name(c.path), c.name);
}

// The sources of the phrases below: a constant at 1000 frames a second, so a
// millisecond is a frame, and a frame lands on one output sample.
void constant_source(const std::string &path, std::int16_t value, int frames = 1000)
{
    WavSpec ms;
    ms.sample_rate = 1000;
    write_file(path, make_wav(Samples(static_cast<std::size_t>(frames), value), ms));
}

// A note at full gain (or gain percent) for every envelope point.
std::vector<std::string> constant_note(const std::string &out, const std::string &src, int length,
                                       const std::string &ovr, const std::string &gain = "100")
{
    return {out, src, "0", std::to_string(length), "0", "0", "0", gain, gain, gain, gain, ovr,
            "0", "0", gain};
}

struct Rendered {
    std::string notes; // the notes file
    std::string out;   // the outfile
};

// Runs the notes through segmix-batch (in process) from no output at all.
void render(const std::string &notes)
{
    const Argv argv({notes}, "segmix-batch");
    Capture out, err;
    batch_main(argv.argc(), argv.argv(), out.file(), err.file());
}

// What the expected note is: its line, its span in samples, its mixed span and
// gap, whether it is a rest and its clips, and one sample of the output that
// is the note's own.
struct Expected {
    long line;
    std::int64_t from, to;
    std::int64_t mixed_from, mixed_to;
    std::int64_t gap;
    bool rest;
    std::int64_t clipped;
    std::size_t at;
    std::int16_t value;
};

TEST(ViewPhrase, NotesLandWhereTheRunsPutThem)
{
    TempDir dir;
    const std::string out = dir.path("it's a phrase"), a = dir.path("a.wav"), b = dir.path("b.wav"),
                      c = dir.path("c.wav"), loud = dir.path("loud.wav"), none = dir.path("none.wav");
    constant_source(a, 1000);
    constant_source(b, 2000);
    constant_source(c, 3000);
    constant_source(loud, 20000);
    const std::string notes_path = dir.path("phrase.notes");
    // The rest's stand-in source is at the output's rate, 44100: its 1 ms is 44
    // samples, while a millisecond of the others is one.
    const std::vector<std::string> lines = {
        "# a phrase of every kind of placement",              // 1
        batch_line(constant_note(out, a, 100, "0")),          // 2
        batch_line(constant_note(out, b, 50, "-30")),         // 3: a gap of 29
        batch_line(constant_note(out, none, 1, "0")),         // 4: a rest
        batch_line({out, a, "x", "100", "0", "0"}),           // 5: invalid parameters
        batch_line(constant_note(out, c, 100, "10")),         // 6: mixed into the rest
        batch_word(out) + " 'open",                           // 7: unbalanced quote
        batch_line(constant_note(out, b, 150, "400")),        // 8: in front of everything
        "",                                                   // 9
        batch_line({out, a, "0"}),                            // 10: too few parameters
        batch_line(constant_note(out, loud, 60, "0", "200")), // 11: clips
        batch_line(constant_note(out, c, 30, "0")) + "\r",    // 12
    };
    std::string text;
    for (const std::string &l : lines)
        text += l + "\n";
    write_file(notes_path, text_bytes(text));
    render(notes_path);

    // -30 ms at 1000 frames a second is a gap of 29: the run's frame number
    // is -29.5 truncated toward zero. Line 8 lays its 400-sample buffer at 0
    // over the 313 samples before it, which move right by 87.
    const Expected expected[] = {
        {2, 87, 187, 0, 0, 0, false, 0, 186, 1000},
        {3, 216, 266, 0, 0, 29, false, 0, 265, 2000},
        {4, 266, 310, 0, 0, 0, true, 0, 290, 0},
        {6, 300, 400, 300, 310, 0, false, 0, 399, 3000},
        {8, 0, 150, 87, 150, 0, false, 0, 50, 2000},
        {11, 400, 460, 0, 0, 0, false, 60, 459, 32767},
        {12, 460, 490, 0, 0, 0, false, 0, 489, 3000},
    };
    const PhraseRead r = read_phrase(notes_path.c_str());
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.picture.warning, "");
    EXPECT_EQ(r.picture.outfile, out);
    EXPECT_EQ(r.svg_path, out + ".svg");
    EXPECT_EQ(r.picture.rate, 44100);
    EXPECT_EQ(r.picture.samples, 490);
    const Samples data = samples_of(read_file(out + ".dat"));
    ASSERT_EQ(data.size(), 490u);
    ASSERT_EQ(r.picture.notes.size(), std::size(expected));
    for (std::size_t k = 0; k < std::size(expected); ++k) {
        const Expected &e = expected[k];
        const view::NoteView &n = r.picture.notes[k];
        SCOPED_TRACE(e.line);
        const std::string &line = lines[static_cast<std::size_t>(e.line - 1)];
        EXPECT_EQ(n.line, e.line);
        EXPECT_EQ(n.text, line.substr(0, line.find('\r')));
        EXPECT_EQ(n.where.note, S(e.from, e.to));
        EXPECT_EQ(n.where.mixed, e.mixed_to > e.mixed_from ? S(e.mixed_from, e.mixed_to) : Span{});
        EXPECT_EQ(n.where.gap.bytes(), 2 * e.gap);
        EXPECT_EQ(n.rest, e.rest);
        EXPECT_EQ(n.clipped, e.clipped);
        EXPECT_EQ(n.where.fresh, e.line == 2);
        // The output holds the note where it is placed.
        EXPECT_EQ(data[e.at], e.value);
    }
    // The mixed spans hold both notes: line 8 over line 2, line 6 over the rest.
    EXPECT_EQ(data[100], 3000);
    EXPECT_EQ(data[305], 3000);
    struct Refused {
        long line;
        const char *why;
    } refused[] = {{5, "invalid parameters"}, {7, "unbalanced quote"}, {10, "too few parameters"}};
    ASSERT_EQ(r.picture.refused.size(), std::size(refused));
    for (std::size_t k = 0; k < std::size(refused); ++k) {
        EXPECT_EQ(r.picture.refused[k].line, refused[k].line);
        EXPECT_EQ(r.picture.refused[k].why, refused[k].why);
    }
    EXPECT_EQ(r.picture.clipped, 60);
    EXPECT_EQ(r.picture.peak, 32767);
}

TEST(ViewPhrase, WritesOnlyThePictureAndTheSameBytesEachTime)
{
    TempDir dir;
    const std::string out = dir.path("phrase"), src = dir.path("a & 'b'.wav");
    constant_source(src, 1000);
    const std::string notes = dir.path("phrase.notes");
    std::string lines = batch_line(constant_note(out, src, 300, "0")) + "\n" +
                        batch_line(constant_note(out, src, 300, "20")) + "\n" +
                        batch_line(constant_note(out, dir.path("gone \xc3\xa9.wav"), 100, "-50")) + "\n";
#ifndef _WIN32
    // A name that is not UTF-8 (on Windows such a line is read in the ANSI
    // code page, so it is).
    lines += batch_line(constant_note(out, dir.dir().string() + "/bad \xff.wav", 10, "0")) + "\n";
#endif
    write_file(notes, text_bytes(lines));
    render(notes);
    auto listing = [&] {
        std::vector<std::pair<std::string, Bytes>> files;
        for (const auto &e : std::filesystem::directory_iterator(dir.dir()))
            files.emplace_back(e.path().filename().string(), read_file(e.path().string()));
        std::ranges::sort(files);
        return files;
    };
    const auto before = listing();
    Capture err;
    ASSERT_EQ(view_phrase(notes.c_str(), nullptr, err.file()), 0);
    EXPECT_EQ(err.text(), "");
    const std::string svg_path = out + ".svg";
    auto after = listing();
    const auto svg = std::ranges::find(after, std::string("phrase.svg"), &std::pair<std::string, Bytes>::first);
    ASSERT_NE(svg, after.end());
    const std::string first(svg->second.begin(), svg->second.end());
    after.erase(svg);
    EXPECT_EQ(after, before); // nothing else written, nothing changed

    // The same phrase gives the same bytes, at the path asked for too.
    const std::string other = dir.path("other.svg");
    ASSERT_EQ(view_phrase(notes.c_str(), other.c_str(), err.file()), 0);
    EXPECT_EQ(read_file(other), read_file(svg_path));
    // And from the notes' text, as segmix-batch holds it.
    const std::string held = dir.path("held.svg");
    const Bytes text = read_file(notes);
    ASSERT_EQ(view_notes({reinterpret_cast<const char *>(text.data()), text.size()}, "-", held.c_str(),
                         err.file()),
              0);
    EXPECT_EQ(read_file(held), read_file(svg_path));

    // Names are escaped, ill-formed bytes replaced, nothing raw.
    EXPECT_EQ(first.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 7), "</svg>\n");
    EXPECT_NE(first.find("a &amp; &apos;b&apos;.wav"), std::string::npos);
    EXPECT_EQ(first.find('\''), std::string::npos);
    EXPECT_NE(first.find("gone \xc3\xa9.wav"), std::string::npos);
#ifndef _WIN32
    EXPECT_EQ(first.find('\xff'), std::string::npos);
    EXPECT_NE(first.find("bad \xef\xbf\xbd.wav"), std::string::npos);
#endif
}

struct Viewed {
    int status;
    std::string err;
};

Viewed view_inprocess(const std::vector<std::string> &args)
{
    const Argv argv(args, "segmix-view");
    Capture out, err;
    const int status = view_main(argv.argc(), argv.argv(), out.file(), err.file());
    EXPECT_EQ(out.text(), "");
    return {status, err.text()};
}

TEST(ViewPhrase, RefusesWhatItCannotDraw)
{
    TempDir dir;
    const std::string src = dir.path("a.wav"), out = dir.path("out"), other = dir.path("other");
    constant_source(src, 1000);
    const std::string one = batch_line(constant_note(out, src, 10, "0"));
    auto notes = [&](const std::string &name, const std::string &text) {
        write_file(dir.path(name), text_bytes(text));
        return dir.path(name);
    };
    const std::string good = notes("good.notes", one + "\n");
    render(good);
    const std::string two = notes("two.notes", "# two\n" + one + "\n" + batch_line({other, src, "0", "10", "0", "0"}) + "\n");
    const std::string empty = notes("empty.notes", "# nothing\n\n" + batch_line({out, src, "0"}) + "\n");
    const std::string unmade = notes("unmade.notes", batch_line(constant_note(other, src, 10, "0")) + "\n");
    const std::string bad = dir.path("bad");
    write_file(bad + ".whd", text_bytes("not a header at all, but long enough to be one"));
    write_file(bad + ".dat", {});
    const std::string foreign = notes("foreign.notes", batch_line(constant_note(bad, src, 10, "0")) + "\n");
    const std::string missing = dir.path("missing.notes");
    const std::string nowhere = dir.path("no folder") + "/x.svg";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{}, 2, msg::view_usage},
        {{"-o"}, 2, msg::view_usage},
        {{"-o", "x.svg"}, 2, msg::view_usage},
        {{good, good}, 2, msg::view_usage},
        {{good, "-o", "a.svg", "-o", "b.svg"}, 2, msg::view_usage},
        {{"-x", good}, 2, msg::view_usage},
        {{missing}, 1, "segmix-view: cannot read " + missing + "\n"},
        {{two}, 1, "segmix-view: " + two + " names several outfiles (" + out + ", then " + other +
                       " on line 3): draw one phrase at a time\n"},
        {{empty}, 1, "segmix-view: " + empty + " names no outfile\n"},
        {{unmade}, 1, "segmix-view: no output to draw: " + other + ".whd is missing\n"},
        {{foreign}, 1, "segmix-view: not an output's header file: " + bad + ".whd\n"},
        {{good, "-o", nowhere}, 1,
         "segmix-view: open failed on " + nowhere + ": " + std::generic_category().message(ENOENT) + "\n"},
        {{"-o", dir.path("first.svg"), good}, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.err);
        const Viewed v = view_inprocess(c.args);
        EXPECT_EQ(v.status, c.status);
        EXPECT_EQ(v.err, c.err);
    }
    EXPECT_TRUE(file_exists(dir.path("first.svg")));
    EXPECT_FALSE(file_exists(nowhere));

    // The files that the notes did not make: drawn all the same, with a warning.
    write_file(out + ".dat", Bytes(100, 0));
    const Viewed w = view_inprocess({good, "-o", dir.path("w.svg")});
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.err, "segmix-view: the data file holds 100 bytes, these notes make 20: "
                     "it is not (or not only) their output\n");
    const Bytes svg = read_file(dir.path("w.svg"));
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("it is not (or not only) their output"), std::string::npos);

    // A journal left by a run cut short is said too.
    write_file(out + ".jnl", text_bytes("journal"));
    const Viewed j = view_inprocess({good, "-o", dir.path("j.svg")});
    EXPECT_EQ(j.status, 0);
    EXPECT_NE(j.err.find("; " + out + ".jnl is left by a run cut short, which the next run undoes first\n"),
              std::string::npos)
        << j.err;
    std::filesystem::remove(out + ".jnl");

    // The program: nothing on standard output, the status of view_main.
    const RunResult p = run_program(SEGMIX_VIEW_EXE, {good, "-o", dir.path("p.svg")});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(read_file(dir.path("p.svg")), read_file(dir.path("w.svg")));
    EXPECT_EQ(run_program(SEGMIX_VIEW_EXE, {}).status, 2);
}

} // namespace
