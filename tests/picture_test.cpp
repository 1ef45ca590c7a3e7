// segmix-view's pictures as a person sees them: drawn by a real SVG renderer
// (rsvg-convert) into a PNG, whose pixels are then looked at where each mark
// should be. The PNG is read with zlib's inflate.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "front/batch.h"
#include "front/view.h"
#include "util.h"
#include "view/svg.h"

#ifdef SEGMIX_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

namespace l = view::layout;

using Rgb = std::array<int, 3>;

// A decoded PNG, 8 bits per channel, its pixels as RGB.
struct Image {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

#ifdef SEGMIX_HAVE_ZLIB
std::uint32_t be32(const Bytes &b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | std::uint32_t{b[at + 3]};
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}
#endif

// Reads what rsvg-convert writes: 8-bit RGB or RGBA, not interlaced. The
// pictures have an opaque white background, so alpha is left aside.
std::optional<Image> read_png(const Bytes &png)
{
#ifdef SEGMIX_HAVE_ZLIB
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin()))
        return std::nullopt;
    Image img;
    int channels = 0;
    Bytes idat;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t n = be32(png, at);
        if (at + 12 + n > png.size())
            return std::nullopt;
        const std::string type(png.begin() + static_cast<long>(at) + 4, png.begin() + static_cast<long>(at) + 8);
        const std::size_t body = at + 8;
        if (type == "IHDR") {
            img.width = static_cast<int>(be32(png, body));
            img.height = static_cast<int>(be32(png, body + 4));
            const int depth = png[body + 8], color = png[body + 9], interlace = png[body + 12];
            if (depth != 8 || (color != 2 && color != 6) || interlace != 0)
                return std::nullopt;
            channels = color == 2 ? 3 : 4;
        } else if (type == "IDAT") {
            idat.insert(idat.end(), png.begin() + static_cast<long>(body), png.begin() + static_cast<long>(body + n));
        }
        at = body + n + 4;
    }
    if (channels == 0)
        return std::nullopt;
    const std::size_t stride = static_cast<std::size_t>(img.width) * static_cast<std::size_t>(channels);
    Bytes raw((stride + 1) * static_cast<std::size_t>(img.height));
    uLongf got = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &got, idat.data(), static_cast<uLong>(idat.size())) != Z_OK || got != raw.size())
        return std::nullopt;
    // Undo each row's filter, against the row above (zeros above the first).
    Bytes prev(stride, 0), row(stride);
    img.pixels.reserve(static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height));
    const auto ch = static_cast<std::size_t>(channels);
    for (int y = 0; y < img.height; ++y) {
        const unsigned char *line = raw.data() + static_cast<std::size_t>(y) * (stride + 1);
        const int filter = line[0];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= ch ? row[i - ch] : 0, b = prev[i], c = i >= ch ? prev[i - ch] : 0;
            int v = line[1 + i];
            switch (filter) {
            case 0: break;
            case 1: v += a; break;
            case 2: v += b; break;
            case 3: v += (a + b) / 2; break;
            case 4: v += paeth(a, b, c); break;
            default: return std::nullopt;
            }
            row[i] = static_cast<unsigned char>(v & 0xff);
        }
        for (int x = 0; x < img.width; ++x) {
            const std::size_t p = static_cast<std::size_t>(x) * ch;
            img.pixels.push_back({row[p], row[p + 1], row[p + 2]});
        }
        prev = row;
    }
    return img;
#else
    (void)png;
    return std::nullopt;
#endif
}

Rgb rgb_of(const char *hex) // "#rrggbb"
{
    const long v = std::strtol(hex + 1, nullptr, 16);
    return {static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff), static_cast<int>(v & 0xff)};
}

bool reddish(const Rgb &c)
{
    return c[0] > 180 && c[1] < 100 && c[2] < 100;
}

// Whether any pixel of the column x between y0 and y1 is like.
template <class Like>
bool in_column(const Image &img, int x, int y0, int y1, Like like)
{
    for (int y = y0; y < y1; ++y)
        if (like(img.at(x, y)))
            return true;
    return false;
}

template <class Like>
bool in_box(const Image &img, int x0, int x1, int y0, int y1, Like like)
{
    for (int x = x0; x < x1; ++x)
        if (in_column(img, x, y0, y1, like))
            return true;
    return false;
}

// Whether the pictures can be looked at here, or why not.
bool can_look(std::string *why)
{
#ifdef _WIN32
    // rsvg-convert is a Linux program, which the Windows build's tests cannot run.
    *why = "no SVG renderer for the Windows build";
    return false;
#elif !defined(SEGMIX_HAVE_ZLIB)
    *why = "zlib was not found when the tests were configured";
    return false;
#else
    if (run_program("rsvg-convert", {"--version"}).status == 0)
        return true;
    *why = "rsvg-convert is missing (Debian package librsvg2-bin)";
    return false;
#endif
}

// Without zlib, or in the Windows build, the pictures cannot be looked at and
// the tests skip; on Linux with zlib, CI installs rsvg-convert, so its absence
// is a failure.
#define NEED_RENDERER()                                     \
    do {                                                    \
        std::string why_;                                   \
        if (!can_look(&why_)) {                             \
            if (why_.rfind("rsvg-convert", 0) == 0)         \
                FAIL() << why_;                             \
            GTEST_SKIP() << why_;                           \
        }                                                   \
    } while (0)

// The picture of an SVG through rsvg-convert.
Image rasterize(const std::string &svg, const std::string &png)
{
    const RunResult r = run_program("rsvg-convert", {svg, "-o", png});
    EXPECT_EQ(r.status, 0) << "rsvg-convert failed on " << svg;
    std::optional<Image> img = read_png(read_file(png));
    EXPECT_TRUE(img) << "unreadable PNG: " << png;
    return img ? *img : Image{};
}

// Where a span of output samples is drawn: the pixel columns of the picture.
struct Columns {
    int row, x0, x1; // row index; columns [x0, x1) in the picture
};

Columns columns_of(std::int64_t from, std::int64_t to, std::int32_t rate)
{
    const std::int64_t c0 = from * l::per_second / rate, c1 = to * l::per_second / rate;
    const std::int64_t row = c0 / l::row_columns;
    const std::int64_t start = row * l::row_columns;
    return {static_cast<int>(row), static_cast<int>(l::left + c0 - start),
            static_cast<int>(l::left + std::min(c1, start + l::row_columns) - start)};
}

// What the picture must show of each note: its band's colour (alternating)
// where no later note covers it, and red ticks above the waveform exactly
// where it has clipped samples.
void check_notes(const Image &img, const view::Picture &p)
{
    const int top = view::rows_top(p);
    for (std::size_t k = 0; k < p.notes.size(); ++k) {
        const view::NoteView &n = p.notes[k];
        SCOPED_TRACE("line " + std::to_string(n.line));
        const std::int64_t from = n.where.note.from / 2, to = n.where.note.to / 2;
        const std::int64_t shown = k + 1 < p.notes.size() ? std::min(to, p.notes[k + 1].where.note.from / 2) : to;
        const Columns c = columns_of(from, shown, p.rate);
        ASSERT_GE(c.x1 - c.x0, 4);
        const int row_top = top + c.row * l::row;
        const int mid = (c.x0 + c.x1) / 2;
        const Rgb mine = rgb_of(view::band_fill[k % 2]), other = rgb_of(view::band_fill[(k + 1) % 2]);
        EXPECT_TRUE(in_column(img, mid, row_top, row_top + l::label_lane, [&](const Rgb &x) { return x == mine; }));
        EXPECT_FALSE(in_column(img, mid, row_top, row_top + l::label_lane, [&](const Rgb &x) { return x == other; }));
        // The clip lane over the columns wholly inside the note.
        const Columns whole = columns_of(from, to, p.rate);
        const bool red = in_box(img, whole.x0 + 1, whole.x1 - 1, row_top + l::label_lane,
                                row_top + l::label_lane + l::clip_lane, reddish);
        EXPECT_EQ(red, n.clipped > 0) << n.clipped << " clipped";
    }
}

void expect_size(const Image &img, const view::Picture &p, int width, int height)
{
    EXPECT_EQ(img.width, width);
    EXPECT_EQ(img.height, height);
    const view::Size s = view::picture_size(p);
    EXPECT_EQ(img.width, s.width);
    EXPECT_EQ(img.height, s.height);
}

// The demo's own phrase, made by its script as the demo target makes it.
TEST(ViewPicture, DemoPhrase)
{
    NEED_RENDERER();
    TempDir dir;
    const std::string out = dir.path("phrase");
    const RunResult demo = run_program(SEGMIX_CMAKE, {"-DSEGMIX=" SEGMIX_EXE, "-DSEGJOIN=" SEGJOIN_EXE,
                                                     "-DSEGMIX_VIEW=" SEGMIX_VIEW_EXE,
                                                     "-DSOURCE=" SEGMIX_DEMO_DIR "/voice.wav",
                                                     "-DOUT=" + out, "-P", SEGMIX_DEMO_DIR "/render_phrase.cmake"});
    ASSERT_EQ(demo.status, 0) << demo.out;
    const Image img = rasterize(out + ".svg", out + ".png");
    ASSERT_GT(img.width, 0);

    // The demo's notes name their files relative to their own folder.
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.dir());
    const PhraseRead r = read_phrase("phrase.notes");
    std::filesystem::current_path(here);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.picture.outfile, "phrase");
    const view::Picture &p = r.picture;
    EXPECT_EQ(p.warning, "");
    EXPECT_TRUE(p.refused.empty());
    // Every note renders, and one of them clips.
    EXPECT_EQ(p.notes.size(), 20u);
    EXPECT_EQ(std::ranges::count_if(p.notes, [](const view::NoteView &n) { return n.clipped > 0; }), 1);
    // One row as wide as the phrase's columns at 200 a second.
    const auto samples = static_cast<std::int64_t>(read_file(out + ".dat").size() / 2);
    const int columns = static_cast<int>((samples - 1) * 200 / 44100 + 1);
    ASSERT_LE(columns, 1600);
    expect_size(img, p, std::max(720, 24 + columns + 24), 56 + 162);
    check_notes(img, p);
}

// A phrase longer than a row, with a rest, a clipped note and a refused line.
TEST(ViewPicture, LongPhraseInRows)
{
    NEED_RENDERER();
    TempDir dir;
    const std::string out = dir.path("long"), loud = dir.path("loud.wav"), quiet = dir.path("quiet.wav");
    Samples square(44100);
    for (std::size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 50) % 2 ? 20000 : -20000;
    write_file(loud, make_wav(square));
    write_file(quiet, make_wav(square));
    const std::string notes = dir.path("long.notes");
    write_file(notes, text_bytes(batch_line({out, dir.path("none.wav"), "0", "9000", "0", "0"}) + "\n" +
                                 batch_line({out, loud, "0", "500", "0", "0", "0", "200", "200", "200", "200", "0"}) + "\n" +
                                 batch_line({out, quiet, "0", "-500", "0", "0"}) + "\n" +
                                 batch_line({out, quiet, "0", "500", "0", "0", "0", "50", "50", "50", "50", "0"}) + "\n"));
    const Argv argv({notes}, "segmix-batch");
    Capture bout, berr;
    batch_main(argv.argc(), argv.argv(), bout.file(), berr.file());
    const RunResult v = run_program(SEGMIX_VIEW_EXE, {notes});
    ASSERT_EQ(v.status, 0);
    const Image img = rasterize(out + ".svg", out + ".png");
    ASSERT_GT(img.width, 0);

    const PhraseRead r = read_phrase(notes.c_str());
    ASSERT_EQ(r.error, "");
    const view::Picture &p = r.picture;
    ASSERT_EQ(p.notes.size(), 3u);
    ASSERT_EQ(p.refused.size(), 1u);
    EXPECT_TRUE(p.notes[0].rest);
    EXPECT_GT(p.notes[1].clipped, 0);
    // 10 s: 2000 columns, in a full row and one of 400; a header line and a
    // list for the refused line.
    expect_size(img, p, 24 + 1600 + 24, 56 + 18 + 2 * 162 + 26 + 16);
    check_notes(img, p);
    const int top = view::rows_top(p);
    // No red in the first row, which holds the rest alone.
    EXPECT_FALSE(in_box(img, 0, img.width, top + l::label_lane, top + l::label_lane + l::clip_lane, reddish));
    // The list of refused lines is written under the rows.
    const int list = top + 2 * l::row;
    EXPECT_TRUE(in_box(img, l::left, img.width / 2, list, img.height,
                       [](const Rgb &c) { return c[0] < 90 && c[1] < 90 && c[2] < 90; }));
}

} // namespace
