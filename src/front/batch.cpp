#include "front/batch.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "front/process.h"
#include "front/run.h"
#include "front/say.h"
#include "front/text.h"
#include "front/view.h"
#include "messages.h"
#include "wave/file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

Line split_line(std::string_view line, std::vector<std::string> *words)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::vector<std::string> found;
    std::string word;
    bool in_word = false;
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (in_word)
                found.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else if (c == '#' && !in_word) {
            break;
        } else if (c == '\\') {
            if (i + 1 == n)
                return Line::open_escape;
            word += line[++i];
            in_word = true;
        } else if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                return Line::open_quote;
            word.append(line.substr(i + 1, close - i - 1));
            i = close;
            in_word = true;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < n && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < n && std::strchr("$`\"\\", line[j + 1]))
                    ++j;
                word += line[j];
            }
            if (j == n)
                return Line::open_quote;
            i = j;
            in_word = true;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word)
        found.push_back(std::move(word));
    if (found.empty())
        return Line::blank;
    *words = std::move(found);
    return Line::run;
}

std::string progress_count(long done)
{
    return std::to_string(done) + " lines";
}

std::string progress_bar(long done, long total, int width)
{
    const long filled = total > 0 ? done * width / total : width;
    std::string bar = "[";
    for (long i = 0; i < width; ++i)
        bar += i < filled ? '#' : '.';
    bar += "] ";
    const std::string of = std::to_string(total);
    const std::string at = std::to_string(done);
    bar.append(of.size() > at.size() ? of.size() - at.size() : 0, ' ');
    return bar + at + "/" + of;
}

namespace {

bool is_terminal(std::FILE *f)
{
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return isatty(fileno(f)) != 0;
#endif
}

// The longest line read: a run's parameters are a few hundred bytes, and
// memory must stay bounded whatever the input holds.
constexpr std::size_t max_line = std::size_t{1} << 20;

// The lines of a regular file, for the progress bar's total; counted without
// keeping them. -1 when the input is not a regular file (a pipe, a terminal).
long count_lines(const char *name)
{
    PathKind kind = PathKind::missing;
    if (std::strcmp(name, "-") == 0 || path_kind(name, &kind) != 0 || kind != PathKind::regular)
        return -1;
    Opened o = open_stream(name);
    if (!o.file)
        return -1;
    long lines = 0;
    char last = '\n';
    char buf[65536];
    for (std::size_t got; o.file.read_some(buf, sizeof buf, &got) && got > 0;) {
        for (std::size_t i = 0; i < got; ++i)
            lines += buf[i] == '\n';
        last = buf[got - 1];
    }
    return lines + (last != '\n');
}

// The progress bar on standard error, drawn only on a terminal.
struct Progress {
    std::FILE *err = nullptr;
    bool shown = false;    // drawn at all
    bool erase = false;    // standard output is a terminal too: clear the bar before each run
    long total = -1;       // lines of the input, -1 when not known (a pipe)
    long drawn = -1;       // percent (or line) last drawn
    std::size_t width = 0; // characters on the screen now, 0 when cleared
};

constexpr int bar_width = 30;

void draw(Progress *p, long done)
{
    // Redrawn once per percent (per line where the total is not known), and
    // whenever it has been cleared.
    const long step = p->total < 0 ? done : p->total > 0 ? done * 100 / p->total : 100;
    if (p->width != 0 && step == p->drawn && done != p->total)
        return;
    const std::string bar = p->total < 0 ? progress_count(done) : progress_bar(done, p->total, bar_width);
    std::fprintf(p->err, "\r%s", bar.c_str());
    std::fflush(p->err);
    p->drawn = step;
    p->width = bar.size();
}

void clear(Progress *p)
{
    if (p->width == 0)
        return;
    std::fprintf(p->err, "\r%*s\r", static_cast<int>(p->width), "");
    std::fflush(p->err);
    p->width = 0;
}

// Line numbers of one kind: how many, and the first few.
struct Lines {
    long count = 0;
    std::string first; // "3, 7, 12", then ", ..."
    std::size_t listed = 0;
    bool all = false;   // list every one (the failed runs), else the first few

    void add(long number)
    {
        ++count;
        if (!all && listed >= 10) {
            if (listed++ == 10)
                first += ", ...";
            return;
        }
        first += (first.empty() ? "" : ", ") + std::to_string(number);
        ++listed;
    }
};

// What the runs came to, for the summary.
struct Tally {
    long runs = 0;
    Lines failed{0, "", 0, true}, silent, rates, clipped;
    long long clipped_samples = 0;

    void add(long number, int status, const RunFacts &f)
    {
        ++runs;
        if (status != 0) {
            failed.add(number);
            return;
        }
        if (f.silent)
            silent.add(number);
        else if (f.source_rate != f.output_rate)
            rates.add(number);
        if (f.clipped > 0) {
            clipped.add(number);
            clipped_samples += f.clipped;
        }
    }
};

// One run through the same guard as the C API's, with the words as its
// command line after the program name.
int run_words(const std::vector<std::string> &words, std::FILE *out, RunFacts *facts)
{
    std::vector<const char *> argv;
    argv.reserve(words.size() + 1);
    argv.push_back("segmix");
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    return run_guarded(static_cast<int>(argv.size()), argv.data(), out, facts);
}

// A line that cannot be run: its message on standard error, after whatever
// the runs before it printed.
void refuse_line(const char *format, long number, Progress *progress, std::FILE *out)
{
    std::fflush(out);
    clear(progress);
    std::fprintf(progress->err, format, number, max_line);
}

// Runs one line of the input, as read.
void run_line(LineRead kind, std::string &text, long number, Progress *progress,
              std::FILE *out, Tally *tally)
{
    if (kind == LineRead::too_long || kind == LineRead::no_memory) {
        refuse_line(kind == LineRead::too_long ? msg::batch_long : msg::batch_no_memory, number,
                    progress, out);
        tally->add(number, -1, {});
        return;
    }
    if (text.find('\0') != std::string::npos) {
        // A NUL would end the word it is in as a C string ends.
        refuse_line(msg::batch_nul, number, progress, out);
        tally->add(number, -1, {});
        return;
    }
    line_to_utf8(&text);
    std::vector<std::string> words;
    const Line line = split_line(text, &words);
    if (line == Line::blank)
        return;
    if (progress->erase)
        clear(progress);
    if (line != Line::run) {
        refuse_line(line == Line::open_quote ? msg::batch_open_quote : msg::batch_open_escape,
                    number, progress, out);
        tally->add(number, -1, {});
        return;
    }
    RunFacts facts;
    const int status = run_words(words, out, &facts);
    tally->add(number, status, facts);
}

// Runs every line of the input in order, each as soon as it has been read;
// keeps the lines in *kept when given (for a picture of notes that came from
// standard input). False when the input fails to read on the way.
bool run_lines(File &in, Progress *progress, std::FILE *out, Tally *tally, std::string *kept)
{
    std::string text;
    for (long number = 1;; ++number) {
        const LineRead kind = in.read_line(&text, max_line);
        if (kind == LineRead::end)
            return true;
        if (kind == LineRead::error)
            return false;
        // A file saved with a byte-order mark begins with its three bytes.
        if (number == 1 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            text.erase(0, 3);
        run_line(kind, text, number, progress, out, tally);
        if (kept)
            (*kept += text) += '\n';
        if (progress->shown) {
            if (progress->erase)
                std::fflush(out);
            draw(progress, number);
        }
        if (kind == LineRead::last)
            return true;
    }
}

void print_lines(std::FILE *err, const char *format, const Lines &l)
{
    if (l.count > 0)
        std::fprintf(err, format, l.count, l.first.c_str());
}

void print_summary(std::FILE *err, const Tally &t, double seconds)
{
    if (t.failed.count == 0)
        std::fprintf(err, msg::batch_summary, t.runs, t.failed.count, seconds);
    else
        std::fprintf(err, msg::batch_summary_failed, t.runs, t.failed.count, t.failed.first.c_str(),
                     seconds);
    print_lines(err, msg::batch_silent, t.silent);
    print_lines(err, msg::batch_rates, t.rates);
    if (t.clipped.count > 0)
        std::fprintf(err, msg::batch_clipped, t.clipped.count, t.clipped.first.c_str(),
                     t.clipped_samples);
}

// The command line: [--view FILE.svg] [FILE|-].
struct BatchArgs {
    const char *input = "-";
    bool named = false;         // FILE was given
    const char *view = nullptr; // the picture to write after the runs
};

bool parse_args(int argc, const char *const *argv, BatchArgs *a)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--view") == 0) {
            if (a->view || i + 1 == argc)
                return false;
            a->view = argv[++i];
        } else if (a->named) {
            return false;
        } else {
            a->input = argv[i];
            a->named = true;
        }
    }
    return true;
}

} // namespace

int batch_main(int argc, const char *const *argv, std::FILE *out, std::FILE *err)
{
    if (answer_flag(argc, argv, {"segmix-batch", msg::batch_usage, msg::help_batch}, out))
        return 0;
    BatchArgs args;
    if (!parse_args(argc, argv, &args)) {
        std::fputs(msg::batch_usage, err);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const char *name = args.input;
    const bool from_stdin = std::strcmp(name, "-") == 0;
    Opened in;
    if (from_stdin) {
        in.file = File::standard_input();
        if (!args.named && is_terminal(stdin))
            std::fputs(msg::batch_hint, err);
    } else {
        in = open_stream(name);
    }
    if (!in.file) {
        std::fprintf(err, msg::batch_unreadable, shown_name(err, name).c_str(), reason_of(in.error).c_str());
        return 2;
    }
    Progress progress;
    progress.err = err;
    progress.shown = is_terminal(err);
    progress.erase = progress.shown && is_terminal(out);
    if (progress.shown)
        progress.total = count_lines(name);
    Tally tally;
    // Notes that cannot be read again (standard input, a pipe) are kept for the
    // picture: the one case where the batch holds more than a line.
    PathKind kind = PathKind::other;
    const bool again = !from_stdin && path_kind(name, &kind) == 0 && kind == PathKind::regular;
    std::string kept;
    const bool read = run_lines(in.file, &progress, out, &tally, args.view && !again ? &kept : nullptr);
    std::fflush(out);
    clear(&progress);
    if (!read)
        std::fprintf(err, msg::batch_unreadable, shown_name(err, name).c_str(),
                     reason_of(in.file.error()).c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    print_summary(err, tally, seconds);
    if (!read)
        return 2;
    int status = tally.failed.count == 0 ? 0 : 1;
    if (args.view) {
        std::fflush(err);
        const int drawn = again ? view_phrase(name, args.view, err) : view_notes(kept, name, args.view, err);
        if (drawn != 0)
            status = 1;
    }
    return status;
}
