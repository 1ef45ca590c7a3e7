#include "front/batch.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "front/run.h"
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

// The whole input, so that the number of lines is known for the progress bar.
bool read_input(const char *name, std::string *text)
{
    Opened o;
    if (std::strcmp(name, "-") == 0)
        o.file = File::standard_input();
    else
        o = open_stream(name);
    if (!o.file)
        return false;
    char buf[65536];
    for (std::size_t got; o.file.read_some(buf, sizeof buf, &got);) {
        if (got == 0)
            return true;
        text->append(buf, got);
    }
    return false;
}

long count_lines(const std::string &text)
{
    long lines = 0;
    for (char c : text)
        lines += c == '\n';
    if (!text.empty() && text.back() != '\n')
        ++lines;
    return lines;
}

// The progress bar on standard error, drawn only on a terminal.
struct Progress {
    std::FILE *err = nullptr;
    bool shown = false;    // drawn at all
    bool erase = false;    // standard output is a terminal too: clear the bar before each run
    long total = 0;        // lines of the input
    long drawn = -1;       // percent last drawn
    std::size_t width = 0; // characters on the screen now, 0 when cleared
};

constexpr int bar_width = 30;

void draw(Progress *p, long done)
{
    const long percent = p->total > 0 ? done * 100 / p->total : 100;
    // Redrawn once per percent, and whenever it has been cleared.
    if (p->width != 0 && percent == p->drawn && done != p->total)
        return;
    const std::string bar = progress_bar(done, p->total, bar_width);
    std::fprintf(p->err, "\r%s", bar.c_str());
    std::fflush(p->err);
    p->drawn = percent;
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

// The runs and the line numbers of those that failed.
struct Tally {
    long runs = 0, failures = 0;
    std::string failed; // "3, 7, 12"

    void add(long number, int status)
    {
        ++runs;
        if (status == 0)
            return;
        ++failures;
        failed += (failed.empty() ? "" : ", ") + std::to_string(number);
    }
};

// One run through the same guard as the C API's, with the words as its
// command line after the program name.
int run_words(const std::vector<std::string> &words, std::FILE *out)
{
    std::vector<const char *> argv;
    argv.reserve(words.size() + 1);
    argv.push_back("segmix");
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    return run_guarded(static_cast<int>(argv.size()), argv.data(), out);
}

// A line that cannot be read: its message on standard error, after whatever
// the runs before it printed.
void report_line(Line kind, long number, Progress *progress, std::FILE *out)
{
    std::fflush(out);
    clear(progress);
    std::fprintf(progress->err, kind == Line::open_quote ? msg::batch_open_quote : msg::batch_open_escape,
                 number);
}

// Runs every line of text in order.
Tally run_lines(const std::string &text, Progress *progress, std::FILE *out)
{
    Tally tally;
    std::vector<std::string> words;
    std::size_t at = 0;
    for (long number = 1; at < text.size(); ++number) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const Line kind = split_line(std::string_view(text).substr(at, end - at), &words);
        at = end + 1;
        if (kind != Line::blank) {
            if (progress->erase)
                clear(progress);
            int status = -1;
            if (kind == Line::run)
                status = run_words(words, out);
            else
                report_line(kind, number, progress, out);
            tally.add(number, status);
        }
        if (progress->shown) {
            if (progress->erase)
                std::fflush(out);
            draw(progress, number);
        }
    }
    return tally;
}

void print_summary(std::FILE *err, const Tally &t, double seconds)
{
    if (t.failures == 0)
        std::fprintf(err, msg::batch_summary, t.runs, t.failures, seconds);
    else
        std::fprintf(err, msg::batch_summary_failed, t.runs, t.failures, t.failed.c_str(), seconds);
}

} // namespace

int batch_main(int argc, const char *const *argv, std::FILE *out, std::FILE *err)
{
    if (argc > 2) {
        std::fputs(msg::batch_usage, err);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const char *name = argc == 2 ? argv[1] : "-";
    std::string text;
    if (!read_input(name, &text)) {
        std::fprintf(err, msg::batch_unreadable, name);
        return 2;
    }
    Progress progress;
    progress.err = err;
    progress.shown = is_terminal(err);
    progress.erase = progress.shown && is_terminal(out);
    progress.total = count_lines(text);
    const Tally tally = run_lines(text, &progress, out);
    std::fflush(out);
    clear(&progress);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    print_summary(err, tally, seconds);
    return tally.failures == 0 ? 0 : 1;
}
