#include "front/view.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string_view>
#include <vector>

#include "front/args.h"
#include "front/batch.h"
#include "front/process.h"
#include "front/say.h"
#include "front/text.h"
#include "messages.h"
#include "render/plan.h"
#include "wave/file.h"
#include "wave/header.h"
#include "wave/output.h"
#include "wave/source.h"

namespace {

using view::LineView;
using view::NoteView;

// A picture of more columns than this (about 5.8 hours) is not drawn.
constexpr std::int64_t max_columns = std::int64_t{1} << 22;
constexpr std::size_t block_bytes = std::size_t{1} << 20;

std::string format(const char *fmt, ...)
{
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s;
    if (n > 0) {
        s.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(s.data(), s.size(), fmt, again);
        s.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return s;
}

// Names in the tool's messages: as the stream they are printed on shows them
// (a code page on Windows), or as they are when nothing is printed.
struct Shown {
    std::FILE *on = nullptr;
    std::string operator()(const std::string &name) const
    {
        return on ? shown_name(on, name) : name;
    }
};

// A failed file operation's line: the runs' own, with the system's reason.
std::string failed(const Shown &shown, const char *op, const std::string &name, int error)
{
    return msg::view_prefix + said(failure(op, name, error), shown.on);
}

// One line of the notes file.
struct NoteLine {
    long number = 0;
    std::string text; // as written, without its line end
    Line kind = Line::blank;
    std::vector<std::string> words;
};

std::vector<NoteLine> lines_of(std::string_view text)
{
    std::vector<NoteLine> lines;
    std::size_t at = 0;
    for (long number = 1; at < text.size(); ++number) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        NoteLine l;
        l.number = number;
        // As segmix-batch reads it: on Windows a line that is not UTF-8 is in
        // the ANSI code page.
        l.text = std::string(text.substr(at, end - at));
        line_to_utf8(&l.text);
        at = end + 1;
        l.kind = split_line(l.text, &l.words);
        if (!l.text.empty() && l.text.back() == '\r')
            l.text.pop_back();
        if (l.kind != Line::blank)
            lines.push_back(std::move(l));
    }
    return lines;
}

// A line that is a run and gets past the argument count names its outfile.
bool names_outfile(const NoteLine &l)
{
    return l.kind == Line::run && static_cast<int>(l.words.size()) + 1 >= min_argc;
}

// Why a run is refused, as the picture says it: the run's own message without
// its line end, in words where the message is Shift-JIS.
std::string why(const Report &r)
{
    if (r.code == Code::only_16bit)
        return "not 16 bits per sample";
    std::string s = said(r);
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

// The header file's sample rate, which a fresh header got from the first run
// and a missing source's stand-in header takes too, or the error.
std::string read_header_file(const std::string &name, const Shown &shown, std::int32_t *rate,
                             std::int32_t *data_size)
{
    WholeFile w = read_whole_file(name.c_str());
    if (w.got == Got::missing)
        return format(msg::view_no_output, shown(name).c_str());
    if (w.got == Got::failed || w.got == Got::unopenable)
        return failed(shown, w.op ? w.op : "read", name, w.error);
    if (w.got != Got::read || check_wave(w.block.bytes()) != Code::ok || w.block.size < header_bytes)
        return format(msg::view_bad_header, shown(name).c_str());
    const WaveHeader h = read_header(w.block.data.get());
    if (h.sample_rate <= 0 || h.sample_rate > max_rate || h.data_size < 0)
        return format(msg::view_bad_header, shown(name).c_str());
    *rate = h.sample_rate;
    *data_size = h.data_size;
    return {};
}

// A line as its run would take it: refused (into *refused), or planned.
bool plan_line(const NoteLine &l, const FmtRecord &fmt, NoteView *note, LineView *refused)
{
    refused->line = note->line = l.number;
    refused->text = note->text = l.text;
    if (l.kind == Line::open_quote) {
        refused->why = "unbalanced quote";
        return false;
    }
    if (l.kind == Line::open_escape) {
        refused->why = "backslash at the end of the line";
        return false;
    }
    if (!names_outfile(l)) {
        refused->why = "too few parameters";
        return false;
    }
    std::vector<const char *> argv = {"segmix"};
    for (const std::string &w : l.words)
        argv.push_back(w.c_str());
    NoteArgs args;
    TimePoints tp;
    if (!read_note_args(static_cast<int>(argv.size()), argv.data(), &args, &tp)) {
        refused->why = "invalid parameters";
        return false;
    }
    SourceInfo src;
    const SourceLoad s = load_source(args.infile, fmt, &src);
    if (s.check.refusal) {
        refused->why = why(s.check.refusal);
        return false;
    }
    if (const Report r = plan_note(tp, src, &note->plan)) {
        refused->why = why(r);
        return false;
    }
    note->source = args.infile;
    note->rest = s.missing;
    note->source_rate = src.sample_rate;
    const Volumes v = volumes_of(args);
    note->gains = {0, v.v1, v.v2, v.v5, v.v3, v.v4, 0};
    return true;
}

// Reads the data file in blocks into the reducer; the error, if any.
std::string read_data(const std::string &name, const Shown &shown, std::int32_t rate,
                      std::vector<std::int64_t> marks, view::Picture *p,
                      std::vector<std::int64_t> *clipped_before)
{
    Opened o = open_file(name.c_str(), "rb");
    if (!o.file)
        return o.missing() ? format(msg::view_no_output, shown(name).c_str())
                           : failed(shown, "open", name, o.error);
    std::int64_t length = 0;
    if (!o.file.length(&length))
        return failed(shown, "size", name, o.file.error());
    const std::int64_t samples = length / 2;
    if (length > max_file_bytes || view::columns_for(samples, rate, view::layout::per_second) > max_columns)
        return format(msg::view_too_long, shown(name).c_str());
    view::Reducer r(samples, rate, view::layout::per_second, std::move(marks));
    std::vector<unsigned char> block(block_bytes);
    for (std::size_t got = 0;;) {
        if (!o.file.read_some(block.data(), block.size(), &got))
            return failed(shown, "read", name, o.file.error());
        if (got == 0)
            break;
        r.feed({block.data(), got});
    }
    p->samples = samples;
    p->columns = r.columns();
    p->peak = r.peak();
    p->clipped = r.clipped();
    *clipped_before = r.clipped_before();
    return {};
}

} // namespace

PhraseRead read_phrase(const char *notes_path, std::FILE *shown_on)
{
    WholeFile notes = read_whole_file(notes_path);
    if (notes.got != Got::read) {
        PhraseRead out;
        out.error = format(msg::view_unreadable, Shown{shown_on}(notes_path).c_str());
        return out;
    }
    return read_phrase_text(
        {reinterpret_cast<const char *>(notes.block.data.get()), notes.block.size}, notes_path,
        shown_on);
}

PhraseRead read_phrase_text(std::string_view text, const char *notes_name, std::FILE *shown_on)
{
    const Shown shown{shown_on};
    PhraseRead out;
    view::Picture &p = out.picture;
    const std::vector<NoteLine> lines = lines_of(text);
    const NoteLine *first = nullptr;
    for (const NoteLine &l : lines) {
        if (!names_outfile(l))
            continue;
        if (!first) {
            first = &l;
        } else if (l.words[0] != first->words[0]) {
            out.error = format(msg::view_outfiles, shown(notes_name).c_str(),
                               shown(first->words[0]).c_str(), shown(l.words[0]).c_str(), l.number);
            return out;
        }
    }
    if (!first) {
        out.error = format(msg::view_no_outfile, shown(notes_name).c_str());
        return out;
    }
    p.outfile = first->words[0];
    const OutputNames names = output_names(p.outfile.c_str());
    out.svg_path = p.outfile + ".svg";
    std::int32_t header_data = 0;
    if (std::string e = read_header_file(names.header, shown, &p.rate, &header_data); !e.empty()) {
        out.error = std::move(e);
        return out;
    }

    // Every line planned as its run plans it, at the output's rate for a
    // missing source, as the runs that made it had.
    const FmtRecord fmt = format_at_rate(p.rate);
    std::vector<view::Step> steps;
    std::vector<NoteView> planned;
    std::vector<LineView> refused;
    for (const NoteLine &l : lines) {
        NoteView n;
        LineView r;
        view::Step s;
        s.runs = plan_line(l, fmt, &n, &r);
        s.plan = n.plan;
        steps.push_back(s);
        planned.push_back(std::move(n));
        refused.push_back(std::move(r));
    }
    const view::Placement placed = view::place_notes(steps);
    std::vector<std::int64_t> marks;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const view::Placed &w = placed.notes[k];
        if (w.fate == view::Fate::landed) {
            planned[k].where = w;
            p.notes.push_back(std::move(planned[k]));
            marks.push_back(w.note.from / 2);
            marks.push_back(w.note.to / 2);
            continue;
        }
        if (w.fate == view::Fate::too_large)
            refused[k].why = "output would exceed 2 GiB";
        p.refused.push_back(std::move(refused[k]));
    }

    // The clips counted at each note's ends, so a note's count is a difference.
    std::vector<std::int64_t> sorted = marks;
    std::ranges::sort(sorted);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<std::int64_t> before;
    if (std::string e = read_data(names.data, shown, p.rate, sorted, &p, &before); !e.empty()) {
        out.error = std::move(e);
        return out;
    }
    const auto count_at = [&](std::int64_t s) {
        const auto it = std::ranges::lower_bound(sorted, s);
        return before[static_cast<std::size_t>(it - sorted.begin())];
    };
    for (NoteView &n : p.notes)
        n.clipped = count_at(n.where.note.to / 2) - count_at(n.where.note.from / 2);

    const std::int64_t held = p.samples * 2;
    if (held != placed.data_bytes)
        p.warning = "the data file holds " + std::to_string(held) + " bytes, these notes make " +
                    std::to_string(placed.data_bytes) + ": it is not (or not only) their output";
    else if (header_data != held)
        p.warning = "the header file says " + std::to_string(header_data) +
                    " data bytes, the data file holds " + std::to_string(held);
    // A journal means a run was cut short: the files are not yet as the next
    // run will find them once it has undone that run.
    if (open_file(names.journal.c_str(), "rb").file)
        p.warning += (p.warning.empty() ? "" : "; ") + names.journal +
                     " is left by a run cut short, which the next run undoes first";
    return out;
}

namespace {

// Writes the document whole; a file written in part is removed.
bool write_svg(const std::string &path, const std::string &svg, std::FILE *err)
{
    Opened o = open_file(path.c_str(), "wb");
    if (!o.file) {
        std::fputs(failed(Shown{err}, "open", path, o.error).c_str(), err);
        return false;
    }
    const bool written = o.file.write(svg.data(), svg.size());
    const int write_error = o.file.error();
    if (!o.file.close() || !written) {
        std::fputs(failed(Shown{err}, written ? "close" : "write", path,
                          written ? o.file.error() : write_error)
                       .c_str(),
                   err);
        remove_file(path.c_str());
        return false;
    }
    return true;
}

int draw(const PhraseRead &r, const char *svg_path, std::FILE *err)
{
    if (!r.error.empty()) {
        std::fputs(r.error.c_str(), err);
        return 1;
    }
    if (!r.picture.warning.empty())
        std::fprintf(err, msg::view_mismatch, shown_name(err, r.picture.warning).c_str());
    return write_svg(svg_path ? svg_path : r.svg_path, view::phrase_svg(r.picture), err) ? 0 : 1;
}

} // namespace

int view_phrase(const char *notes_path, const char *svg_path, std::FILE *err) noexcept
{
    try {
        return draw(read_phrase(notes_path, err), svg_path, err);
    } catch (...) {
        // Only an allocation can throw here (a string, a vector, a block).
        std::fputs(msg::view_memory, err);
        return 1;
    }
}

int view_notes(std::string_view notes, const char *notes_name, const char *svg_path,
               std::FILE *err) noexcept
{
    try {
        return draw(read_phrase_text(notes, notes_name, err), svg_path, err);
    } catch (...) {
        // Only an allocation can throw here (a string, a vector, a block).
        std::fputs(msg::view_memory, err);
        return 1;
    }
}

int view_main(int argc, const char *const *argv, std::FILE *out, std::FILE *err) noexcept
{
    if (answer_flag(argc, argv, {"segmix-view", msg::view_usage, msg::help_view}, out))
        return 0;
    const char *notes = nullptr, *svg = nullptr;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "-o") == 0 && k + 1 < argc && !svg) {
            svg = argv[++k];
        } else if (argv[k][0] != '-' && !notes) {
            notes = argv[k];
        } else {
            notes = nullptr;
            break;
        }
    }
    if (!notes) {
        std::fputs(msg::view_usage, err);
        return 2;
    }
    return view_phrase(notes, svg, err);
}
