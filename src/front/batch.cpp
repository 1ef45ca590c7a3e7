#include "front/batch.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "front/run.h"
#include "messages.h"

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
bool read_all(std::FILE *f, std::string *text)
{
    char buf[65536];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        text->append(buf, got);
    return std::ferror(f) == 0;
}

bool read_input(const char *name, std::string *text)
{
    if (std::strcmp(name, "-") == 0)
        return read_all(stdin, text);
    std::FILE *f = std::fopen(name, "rb");
    if (!f)
        return false;
    const bool ok = read_all(f, text);
    std::fclose(f);
    return ok;
}

// The progress bar on standard error, drawn only on a terminal.
struct Progress {
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
    std::fprintf(stderr, "\r%s", bar.c_str());
    std::fflush(stderr);
    p->drawn = percent;
    p->width = bar.size();
}

void clear(Progress *p)
{
    if (p->width == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(p->width), "");
    std::fflush(stderr);
    p->width = 0;
}

int run_words(const std::vector<std::string> &words)
{
    std::vector<const char *> argv;
    argv.reserve(words.size() + 1);
    argv.push_back("segmix");
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    try {
        return segmix_main(static_cast<int>(argv.size()), argv.data());
    } catch (...) {
        return -1;
    }
}

} // namespace

int batch_main(int argc, const char *const *argv)
{
    if (argc > 2) {
        std::fputs(msg::batch_usage, stderr);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const char *name = argc == 2 ? argv[1] : "-";
    std::string text;
    if (!read_input(name, &text)) {
        std::fprintf(stderr, msg::batch_unreadable, name);
        return 2;
    }

    Progress progress;
    progress.shown = is_terminal(stderr);
    progress.erase = progress.shown && is_terminal(stdout);
    for (char c : text)
        progress.total += c == '\n';
    if (!text.empty() && text.back() != '\n')
        ++progress.total;

    long runs = 0;
    std::string failed;
    long failures = 0;
    std::vector<std::string> words;
    std::size_t at = 0;
    for (long number = 1; at < text.size(); ++number) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const Line kind = split_line(std::string_view(text).substr(at, end - at), &words);
        at = end + 1;
        if (kind != Line::blank) {
            ++runs;
            if (progress.erase)
                clear(&progress);
            int status = -1;
            if (kind == Line::run) {
                status = run_words(words);
            } else {
                std::fflush(stdout);
                clear(&progress);
                std::fprintf(stderr, kind == Line::open_quote ? msg::batch_open_quote
                                                              : msg::batch_open_escape,
                             number);
            }
            if (status != 0) {
                ++failures;
                failed += (failed.empty() ? "" : ", ") + std::to_string(number);
            }
        }
        if (progress.shown) {
            if (progress.erase)
                std::fflush(stdout);
            draw(&progress, number);
        }
    }
    std::fflush(stdout);
    clear(&progress);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failures == 0)
        std::fprintf(stderr, msg::batch_summary, runs, failures, seconds);
    else
        std::fprintf(stderr, msg::batch_summary_failed, runs, failures, failed.c_str(), seconds);
    return failures == 0 ? 0 : 1;
}
