#include "view/svg.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "view/text.h"

namespace view {

namespace l = layout;

std::vector<Row> break_rows(std::int64_t columns, std::int64_t per_row)
{
    std::vector<Row> rows;
    for (std::int64_t c = 0; c < columns; c += per_row)
        rows.push_back({c, std::min(columns, c + per_row)});
    if (rows.empty())
        rows.push_back({0, 0});
    return rows;
}

std::int64_t x_tenths(std::int64_t s, std::int32_t rate)
{
    return s * l::per_second * 10 / rate;
}

namespace {

// The lines of the header below the facts: one for the lines that changed
// nothing, one for a warning.
int header_height(const Picture &p)
{
    return l::header + l::header_line * ((p.refused.empty() ? 0 : 1) + (p.warning.empty() ? 0 : 1));
}

std::size_t listed(const Picture &p)
{
    return std::min(p.refused.size(), l::list_max);
}

int list_height(const Picture &p)
{
    if (p.refused.empty())
        return 0;
    const std::size_t more = p.refused.size() > l::list_max ? 1 : 0;
    return l::list_head + l::list_line * static_cast<int>(listed(p) + more);
}

std::int64_t columns_of(const Picture &p)
{
    return static_cast<std::int64_t>(p.columns.size());
}

} // namespace

int rows_top(const Picture &p)
{
    return header_height(p);
}

Size picture_size(const Picture &p)
{
    const std::int64_t cols = columns_of(p);
    const auto rows = static_cast<int>(break_rows(cols, l::row_columns).size());
    const auto plot = static_cast<int>(std::min(cols, l::row_columns));
    return {std::max(l::min_width, l::left + plot + l::right),
            header_height(p) + rows * l::row + list_height(p)};
}

namespace {

// Lane tops within a row.
constexpr int clip_top = l::label_lane;
constexpr int wave_top = clip_top + l::clip_lane;
constexpr int wave_mid = wave_top + l::wave / 2;
constexpr int axis_top = wave_top + l::wave;

// A coordinate in tenths of a pixel, written without a needless ".0".
std::string num(std::int64_t tenths)
{
    return tenths % 10 == 0 ? decimal(tenths / 10, 0) : decimal(tenths, 1);
}

std::string num(int px)
{
    return decimal(px, 0);
}

// Samples as seconds at rate, rounded to the millisecond.
std::string seconds(std::int64_t samples, std::int32_t rate)
{
    return decimal((samples * 1000 + rate / 2) / rate, 3);
}

std::string count_of(std::int64_t n, const char *one, const char *many)
{
    return decimal(n, 0) + " " + (n == 1 ? one : many);
}

// A sample's height in the waveform, in tenths of a pixel from the row's top:
// full scale reaches the lane's edges.
std::int64_t wave_y(int s)
{
    constexpr std::int64_t half = l::wave / 2 * 10;
    const std::int64_t v = std::int64_t{s} * half;
    // Rounded toward minus infinity, so positive and negative samples are drawn alike.
    const std::int64_t d = v >= 0 ? v / 32768 : -((-v + 32767) / 32768);
    return wave_mid * 10 - d;
}

struct Marks {
    const Picture &p;
    double g_lo = 0, g_hi = 1; // the envelope's range: gain 0 .. 1 at least
    std::string out;

    void add(std::string_view s) { out.append(s); }
};

std::int64_t sample_of(std::int64_t byte)
{
    return byte / 2;
}

// A span of samples as tenths of a pixel, at least one pixel wide.
struct Extent {
    std::int64_t from = 0, to = 0;
};

Extent extent(const Span &bytes, std::int32_t rate)
{
    const std::int64_t a = x_tenths(sample_of(bytes.from), rate);
    const std::int64_t b = x_tenths(sample_of(bytes.to), rate);
    return {a, std::max(b, a + 10)};
}

bool meets(const Extent &e, const Row &r)
{
    return e.from < r.to * 10 && e.to > r.from * 10;
}

std::string rect(const Extent &e, int y, int h, const std::string &attrs)
{
    return "<rect x=\"" + num(e.from) + "\" y=\"" + num(y) + "\" width=\"" + num(e.to - e.from) +
           "\" height=\"" + num(h) + "\" " + attrs + "/>";
}

// The hover text of a note: its line, its plan, and where it went.
std::string note_title(const NoteView &n, std::int32_t rate)
{
    const auto &i = n.plan.i;
    static constexpr const char *names[pt::count] = {"start", "p1", "p2", "p5", "p3", "p4", "end"};
    std::string t = "line " + decimal(n.line, 0) + ": " + n.text + "\n";
    t += "source " + n.source + (n.rest ? " (missing: a rest, silence)" : "") + ", " +
         decimal(n.source_rate, 0) + " frames/s\n";
    t += "frames";
    for (std::size_t k = 0; k < pt::count; ++k)
        t += std::string(k ? ", " : " ") + names[k] + " " + decimal(i[k], 0);
    t += "\ngains";
    for (std::size_t k = 0; k < pt::count; ++k)
        t += std::string(k ? ", " : " ") + trimmed(n.gains[k], 4);
    t += "\noverlap " + decimal(n.plan.overlap_samples, 0) + " samples (" +
         decimal(n.plan.overlap_bytes, 0) + " bytes), buffer " + decimal(n.plan.buffer_bytes, 0) +
         " bytes, overhang " + decimal(n.plan.overhang_bytes, 0) + " bytes\n";
    const Placed &w = n.where;
    t += "output samples " + decimal(sample_of(w.note.from), 0) + " to " +
         decimal(sample_of(w.note.to), 0) + " (" + seconds(sample_of(w.note.from), rate) + " s to " +
         seconds(sample_of(w.note.to), rate) + " s)";
    if (w.fresh)
        t += ", the first note: nothing mixed";
    if (!w.mixed.empty())
        t += ", mixed into the output before it over " +
             decimal(sample_of(w.mixed.bytes()), 0) + " samples";
    if (!w.gap.empty())
        t += ", after " + decimal(sample_of(w.gap.bytes()), 0) + " samples of silence";
    t += "\nclipped samples " + decimal(n.clipped, 0);
    return t;
}

// The label of a note in width tenths of a pixel: its line number first, then
// the clip count, then "rest", and its source's name in what is left. The
// label is XML already.
std::string note_label(const NoteView &n, std::int64_t width)
{
    const std::int64_t fit = (width - 40) / l::char_tenths;
    const std::string number = decimal(n.line, 0);
    auto left = fit - static_cast<std::int64_t>(number.size());
    if (left < 0)
        return {};
    // The clip count in red, with its word where there is room for it.
    std::string clip;
    if (n.clipped > 0) {
        // Counted with the space before it, which is the tspan's dx: a
        // renderer may drop a space at the edge of a text chunk.
        const std::string count = decimal(n.clipped, 0);
        for (const std::string &c : {count + " clipped", count})
            if (static_cast<std::int64_t>(c.size()) + 1 <= left) {
                clip = c;
                left -= static_cast<std::int64_t>(c.size()) + 1;
                break;
            }
    }
    std::string label = xml_text(number);
    if (n.rest && left >= 5) {
        label += " rest";
        left -= 5;
    }
    if (left >= 3)
        label += " " + xml_text(shorten(file_name(n.source), static_cast<std::size_t>(left - 1)));
    if (!clip.empty())
        label += "<tspan dx=\"4\" fill=\"" + std::string(clip_red) + "\">" + clip + "</tspan>";
    return label;
}

void defs(Marks &m, const std::vector<Row> &rows)
{
    m.add("<defs>\n");
    for (std::size_t k = 0; k < rows.size(); ++k)
        m.add("<clipPath id=\"row" + decimal(static_cast<std::int64_t>(k), 0) +
              "\"><rect x=\"" + decimal(rows[k].from, 0) + "\" y=\"0\" width=\"" +
              decimal(rows[k].to - rows[k].from, 0) + "\" height=\"" + num(axis_top) +
              "\"/></clipPath>\n");
    m.add("</defs>\n");
}

void header(Marks &m)
{
    const Picture &p = m.p;
    std::int64_t rests = 0;
    for (const NoteView &n : p.notes)
        rests += n.rest;
    std::string facts = decimal(p.rate, 0) + " Hz \xc2\xb7 " + seconds(p.samples, p.rate) +
                        " s \xc2\xb7 " + count_of(static_cast<std::int64_t>(p.notes.size()), "note", "notes");
    if (rests > 0)
        facts += " (" + count_of(rests, "rest", "rests") + ")";
    facts += " \xc2\xb7 peak " + peak_dbfs(p.peak) + " \xc2\xb7 " + count_of(p.clipped, "clipped sample", "clipped samples");
    m.add("<text x=\"" + num(l::left) + "\" y=\"24\" font-size=\"15\" font-weight=\"bold\">" +
          xml_text(p.outfile) + "</text>\n");
    m.add("<text x=\"" + num(l::left) + "\" y=\"44\" font-size=\"12\">" + xml_text(facts) + "</text>\n");
    int y = 44;
    if (!p.refused.empty()) {
        std::string lines;
        const std::size_t shown = std::min<std::size_t>(p.refused.size(), 12);
        for (std::size_t k = 0; k < shown; ++k)
            lines += (k ? ", " : "") + decimal(p.refused[k].line, 0);
        if (shown < p.refused.size())
            lines += ", \xe2\x80\xa6";
        y += l::header_line;
        m.add("<text x=\"" + num(l::left) + "\" y=\"" + num(y) + "\" font-size=\"12\">" +
              count_of(static_cast<std::int64_t>(p.refused.size()), "line", "lines") +
              " changed nothing (" + lines + "): listed below</text>\n");
    }
    if (!p.warning.empty()) {
        y += l::header_line;
        m.add("<text x=\"" + num(l::left) + "\" y=\"" + num(y) + "\" font-size=\"12\" fill=\"" +
              clip_red + "\">" + xml_text(p.warning) + "</text>\n");
    }
}

// The bands of the notes in the row, each with its hover text, and the gaps.
void bands(Marks &m, const Row &r)
{
    const Picture &p = m.p;
    for (std::size_t k = 0; k < p.notes.size(); ++k) {
        const NoteView &n = p.notes[k];
        const Extent e = extent(n.where.note, p.rate);
        if (!meets(e, r))
            continue;
        const std::string fill = std::string("fill=\"") + band_fill[k % 2] + "\"";
        m.add("<g><title>" + xml_text(note_title(n, p.rate)) + "</title>");
        m.add(rect(e, 0, l::label_lane, fill));
        m.add(rect(e, wave_top, l::wave, fill));
        // The label has the part of the band that the bands drawn after it
        // leave free (of the next few: notes far apart in the notes file
        // seldom meet).
        const std::int64_t from = std::max(e.from, r.from * 10);
        std::int64_t to = std::min(e.to, r.to * 10);
        for (std::size_t j = k + 1; j < p.notes.size() && j <= k + 16; ++j) {
            const std::int64_t other = extent(p.notes[j].where.note, p.rate).from;
            if (other > from && other < to)
                to = other;
        }
        if (const std::string label = note_label(n, to - from); !label.empty())
            m.add("<text x=\"" + num(from + 30) + "\" y=\"13\">" + label + "</text>");
        m.add("</g>\n");
    }
    for (const NoteView &n : p.notes) {
        if (n.where.gap.empty())
            continue;
        const Extent e = extent(n.where.gap, p.rate);
        if (!meets(e, r))
            continue;
        const std::int64_t g = sample_of(n.where.gap.bytes());
        m.add("<g><title>" +
              xml_text("gap: " + decimal(g, 0) + " samples (" + seconds(g, p.rate) +
                       " s) of silence before line " + decimal(n.line, 0)) +
              "</title>");
        m.add(rect(e, wave_top, l::wave,
                   "fill=\"#f4f4f4\" stroke=\"#8a8a8a\" stroke-dasharray=\"4 3\""));
        const std::int64_t from = std::max(e.from, r.from * 10);
        if (std::min(e.to, r.to * 10) - from >= 3 * l::char_tenths + 50)
            m.add("<text x=\"" + num(from + 30) + "\" y=\"13\" fill=\"#6b6b6b\" "
                  "font-style=\"italic\">gap</text>");
        m.add("</g>\n");
    }
}

// The runs of columns from..to of the row that satisfy keep, each as [a, b).
template <class Keep>
std::vector<Row> runs(const Picture &p, const Row &r, Keep keep)
{
    std::vector<Row> found;
    for (std::int64_t c = r.from; c < r.to; ++c) {
        if (!keep(p.columns[static_cast<std::size_t>(c)]))
            continue;
        if (!found.empty() && found.back().to == c)
            found.back().to = c + 1;
        else
            found.push_back({c, c + 1});
    }
    return found;
}

// The waveform of a row: each run of columns that hold samples as one filled
// outline, along the highest samples and back along the lowest, a column
// wide per step and at least a pixel high, in whole pixels. One outline is
// far cheaper for a renderer than a stroke per column, and relative steps
// keep it small: about a dozen bytes a column.
std::string waveform(const Picture &p, const Row &r)
{
    std::string d;
    const auto edge = [&](std::int64_t c, std::int64_t *top, std::int64_t *bottom) {
        const Column &col = p.columns[static_cast<std::size_t>(c)];
        *top = wave_y(col.hi) / 10;
        *bottom = (wave_y(col.lo) + 9) / 10;
        if (*bottom <= *top)
            *bottom = *top + 1;
    };
    for (const Row &run : runs(p, r, [](const Column &c) { return c.any; })) {
        std::int64_t top = 0, bottom = 0;
        edge(run.from, &top, &bottom);
        d.append("M").append(decimal(run.from, 0)).append(" ").append(decimal(top, 0));
        for (std::int64_t c = run.from; c < run.to; ++c) {
            edge(c, &top, &bottom);
            d.append("V").append(decimal(top, 0)).append("h1");
        }
        for (std::int64_t c = run.to - 1; c >= run.from; --c) {
            edge(c, &top, &bottom);
            d.append("V").append(decimal(bottom, 0)).append("h-1");
        }
        d.append("Z");
    }
    return d;
}

// The clip lane of a row: a red box over each run of columns with a clipped sample.
std::string clip_ticks(const Picture &p, const Row &r)
{
    std::string d;
    for (const Row &run : runs(p, r, [](const Column &c) { return c.clipped; }))
        d.append("M").append(num(run.from * 10)).append(" ").append(num(clip_top + 1))
            .append("H").append(num(run.to * 10)).append("V").append(num(clip_top + l::clip_lane - 1))
            .append("H").append(num(run.from * 10)).append("Z");
    return d;
}

// What is drawn over the bands: rests, shared spans, the waveform, the
// envelopes and the clips. The pointer goes through them to the bands. Flat
// translucent fills rather than patterns: a renderer draws a pattern anew
// for every shape it fills, which makes a long song slow to show.
void overlays(Marks &m, const Row &r)
{
    const Picture &p = m.p;
    m.add("<g pointer-events=\"none\">\n");
    for (const NoteView &n : p.notes) {
        const Extent e = extent(n.where.note, p.rate);
        if (n.rest && meets(e, r))
            m.add(rect(e, wave_top, l::wave, "fill=\"#8d99a6\" fill-opacity=\"0.45\"") + "\n");
        if (n.where.mixed.empty())
            continue;
        const Extent x = extent(n.where.mixed, p.rate);
        if (meets(x, r))
            m.add(rect(x, wave_top, l::wave, "fill=\"#8e6cc0\" fill-opacity=\"0.3\"") + "\n");
    }
    m.add("<path d=\"M" + decimal(r.from, 0) + " " + num(wave_mid) + "H" + decimal(r.to, 0) +
          "\" stroke=\"#c5ccd4\" stroke-width=\"1\"/>\n");
    const std::string wave = waveform(p, r), clips = clip_ticks(p, r);
    if (!wave.empty())
        m.add("<path d=\"" + wave + "\" fill=\"#3b4a5c\"/>\n");
    for (std::size_t k = 0; k < p.notes.size(); ++k) {
        const NoteView &n = p.notes[k];
        if (!meets(extent(n.where.note, p.rate), r))
            continue;
        std::string points;
        for (std::size_t q = 0; q < pt::count; ++q) {
            const std::int64_t s = sample_of(n.where.note.from) + (n.plan.i[q] - n.plan.i[pt::start]);
            const double y = wave_top + l::wave * ((m.g_hi - n.gains[q]) / (m.g_hi - m.g_lo));
            points.append(q ? " " : "").append(num(x_tenths(s, p.rate))).append(",").append(fixed(y, 1));
        }
        m.add(std::string("<polyline points=\"") + points + "\" fill=\"none\" stroke=\"" +
              envelope_stroke[k % 2] + "\" stroke-width=\"2\" stroke-linejoin=\"round\"/>\n");
    }
    if (!clips.empty())
        m.add("<path d=\"" + clips + "\" fill=\"" + clip_red + "\"/>\n");
    m.add("</g>\n");
}

// The time axis under a row: a tick every 0.1 s, a label every 0.5 s.
void axis(Marks &m, const Row &r)
{
    const std::int64_t step = l::per_second; // 0.1 s in tenths of a pixel
    std::string ticks = "M" + decimal(r.from, 0) + " " + num(axis_top * 10 + 5) + "H" +
                        decimal(r.to, 0);
    std::string labels;
    for (std::int64_t k = (r.from * 10 + step - 1) / step; k * step <= r.to * 10; ++k) {
        const bool labelled = k % 5 == 0;
        ticks.append("M").append(num(k * step)).append(" ").append(num(axis_top));
        ticks.append(labelled ? "v6" : "v3");
        if (labelled)
            labels += "<text x=\"" + num(k * step) + "\" y=\"" + num(axis_top + 17) + "\">" +
                      num(k) + " s</text>";
    }
    m.add("<path d=\"" + ticks + "\" stroke=\"#555\" stroke-width=\"1\" fill=\"none\"/>\n");
    m.add("<g text-anchor=\"middle\" fill=\"#444\" font-size=\"10\">" + labels + "</g>\n");
}

// The lines that changed nothing, each with why.
void refused_list(Marks &m, int top, int width)
{
    const Picture &p = m.p;
    if (p.refused.empty())
        return;
    int y = top + 18;
    m.add("<text x=\"" + num(l::left) + "\" y=\"" + num(y) +
          "\" font-size=\"12\" font-weight=\"bold\">Lines that changed nothing</text>\n");
    const auto fit = static_cast<std::size_t>((width - l::left - l::right) * 10 / l::char_tenths);
    for (std::size_t k = 0; k < listed(p); ++k) {
        const LineView &v = p.refused[k];
        const std::string head = "line " + decimal(v.line, 0) + ": " + v.why + ": ";
        const std::size_t room = fit > head.size() ? fit - head.size() : 0;
        y += l::list_line;
        m.add("<text x=\"" + num(l::left) + "\" y=\"" + num(y) + "\"><title>" +
              xml_text(v.text) + "</title>" + xml_text(head + shorten(v.text, room)) + "</text>\n");
    }
    if (p.refused.size() > listed(p)) {
        y += l::list_line;
        m.add("<text x=\"" + num(l::left) + "\" y=\"" + num(y) + "\">\xe2\x80\xa6 and " +
              decimal(static_cast<std::int64_t>(p.refused.size() - listed(p)), 0) +
              " more</text>\n");
    }
}

} // namespace

std::string phrase_svg(const Picture &p)
{
    Marks m{p, 0, 1, {}};
    for (const NoteView &n : p.notes)
        for (double g : n.gains) {
            m.g_lo = std::min(m.g_lo, g);
            m.g_hi = std::max(m.g_hi, g);
        }
    const Size size = picture_size(p);
    const std::vector<Row> rows = break_rows(columns_of(p), l::row_columns);
    const std::string w = num(size.width), h = num(size.height);
    m.add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    m.add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
          "\" viewBox=\"0 0 " + w + " " + h +
          "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"11\" fill=\"#1f2933\">\n");
    m.add("<title>" + xml_text(p.outfile) + "</title>\n");
    defs(m, rows);
    m.add("<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n");
    header(m);
    int top = rows_top(p);
    for (std::size_t k = 0; k < rows.size(); ++k, top += l::row) {
        const Row &r = rows[k];
        const std::string at = "translate(" + decimal(l::left - r.from, 0) + " " + num(top) + ")";
        m.add("<g transform=\"" + at + "\" clip-path=\"url(#row" +
              decimal(static_cast<std::int64_t>(k), 0) + ")\">\n");
        bands(m, r);
        overlays(m, r);
        m.add("</g>\n<g transform=\"" + at + "\">\n");
        axis(m, r);
        m.add("</g>\n");
    }
    refused_list(m, top, size.width);
    m.add("</svg>\n");
    return std::move(m.out);
}

} // namespace view
