// segmix-batch: the line format, the progress bar, and a whole batch against
// the same runs made one process at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "front/batch.h"
#include "messages.h"
#include "util.h"

namespace {

using Words = std::vector<std::string>;

TEST(BatchLine, SplitsAsAShellDoes)
{
    struct Case {
        const char *line;
        Line kind;
        Words words;
    } cases[] = {
        {"a b  c", Line::run, {"a", "b", "c"}},
        {" \ta\t", Line::run, {"a"}},
        {"", Line::blank, {}},
        {" \t ", Line::blank, {}},
        {"# a comment", Line::blank, {}},
        {"   # indented", Line::blank, {}},
        {"a b # the rest", Line::run, {"a", "b"}},
        {"a#b #c", Line::run, {"a#b"}},
        {"'#' \\# \"#\"", Line::run, {"#", "#", "#"}},
        {"'a b' c", Line::run, {"a b", "c"}},
        {"\"a  b\"", Line::run, {"a  b"}},
        {"a'b'\"c\"d", Line::run, {"abcd"}},
        {"'' \"\" x", Line::run, {"", "", "x"}},
        {"a\\ b \\\\ \\'", Line::run, {"a b", "\\", "'"}},
        {"'\\n' 'C:\\out'", Line::run, {"\\n", "C:\\out"}},
        {"\"\\$ \\` \\\" \\\\ \\a\"", Line::run, {"$ ` \" \\ \\a"}},
        {"\"it's\" 'say \"hi\"'", Line::run, {"it's", "say \"hi\""}},
        {"$HOME ~ *.wav", Line::run, {"$HOME", "~", "*.wav"}},
        {"a b\r", Line::run, {"a", "b"}},
        {"'a\r'\r", Line::run, {"a\r"}},
        {"\r", Line::blank, {}},
        {"'open", Line::open_quote, {}},
        {"a \"open", Line::open_quote, {}},
        {"\"ends in \\\"", Line::open_quote, {}},
        {"'it''s", Line::open_quote, {}},
        {"a\\", Line::open_escape, {}},
    };
    for (const Case &c : cases) {
        Words words = {"untouched"};
        EXPECT_EQ(split_line(c.line, &words), c.kind) << c.line;
        EXPECT_EQ(words, c.kind == Line::run ? c.words : Words{"untouched"}) << c.line;
    }
}

TEST(BatchProgress, BarAndCount)
{
    struct Case {
        long done, total;
        int width;
        const char *bar;
    } cases[] = {
        {0, 10, 10, "[..........]  0/10"},
        {5, 10, 10, "[#####.....]  5/10"},
        {9, 10, 4, "[###.]  9/10"},
        {10, 10, 4, "[####] 10/10"},
        {1, 3, 3, "[#..] 1/3"},
        {0, 0, 3, "[###] 0/0"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(progress_bar(c.done, c.total, c.width), c.bar);
}

// A path as a batch line quotes it: in single quotes, so that Windows paths
// keep their backslashes.
std::string sq(const std::string &s)
{
    return "'" + s + "'";
}

// The batch of Runs, one line each (with comments and blank lines between),
// for outputs in dir; the runs' words are in *runs and their line numbers in
// *numbers. One more line, the last, has an unbalanced quote.
std::string batch_text(const TempDir &dir, std::vector<Words> *runs, std::vector<long> *numbers)
{
    const std::string a = dir.path("a"), b = dir.path("b c"), src = dir.path("src.wav");
    *runs = {
        {a, src, "0", "20", "2", "2", "0", "100", "100", "100", "100", "0", "2", "0", "100"},
        {b, src, "5", "10", "1", "1"},
        {a, src, "10", "480@120-5", "2", "2", "0", "90", "80", "70", "60", "5", "2", "1", "75"},
        {a, src, "0", "10", "6", "5"}, // the parameters are invalid
        {a, src, "0"},                 // too few: the usage line
        {b, src, "30", "15", "3", "3", "0", "100", "100", "100", "100", "-2", "3"},
    };
    const std::string lines[] = {
        "# two outputs, one with a space in its name",
        sq(a) + " " + sq(src) + " 0 20 2 2 0 100 100 100 100 0 2 0 100",
        sq(b) + " " + sq(src) + "\t5 10 1 1   # short form",
        "",
        sq(a) + " " + sq(src) + " 10 \"480@120-5\" 2 2 0 90 80 70 60 5 2 1 75",
        sq(a) + " " + sq(src) + " 0 10 6 5",
        "   ",
        sq(a) + " " + sq(src) + " 0",
        sq(b) + " " + sq(src) + " 30 15 3 3 0 100 100 100 100 -2 3\r",
        sq(b) + " 'src.wav 0 10 0 0",
    };
    *numbers = {2, 3, 5, 6, 8, 9};
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

void write_source(const TempDir &dir)
{
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 4000; ++i)
        samples.push_back(static_cast<std::int16_t>((i * 331) % 20001 - 10000));
    write_file(dir.path("src.wav"), make_wav(samples));
}

TEST(Batch, SameFilesAndOutputAsOneProcessPerLine)
{
    TempDir one, batch;
    write_source(one);
    write_source(batch);
    std::vector<Words> runs;
    std::vector<long> numbers;
    batch_text(one, &runs, &numbers);
    std::string expected;
    for (const Words &run : runs)
        expected += run_program(SEGMIX_EXE, run).out;

    const std::string list = batch.path("phrase.txt");
    write_file(list, text_bytes(batch_text(batch, &runs, &numbers)));
    const RunResult r = run_program(SEGMIX_BATCH_EXE, {list});
    EXPECT_EQ(r.status, 1); // two runs and the last line failed
    EXPECT_EQ(r.out, expected);
    for (const char *name : {"a.whd", "a.dat", "b c.whd", "b c.dat"}) {
        EXPECT_TRUE(file_exists(one.path(name))) << name;
        EXPECT_EQ(read_file(batch.path(name)), read_file(one.path(name))) << name;
    }
}

struct Captured {
    int status;
    std::string out, err;
};

Captured batch_inprocess(const Words &args)
{
    const Argv argv(args, "segmix-batch");
    Capture out, err;
    const int status = batch_main(argv.argc(), argv.argv(), out.file(), err.file());
    return {status, out.text(), err.text()};
}

TEST(Batch, SummaryAndExitStatus)
{
    TempDir dir;
    write_source(dir);
    std::vector<Words> runs;
    std::vector<long> numbers;
    const std::string list = dir.path("phrase.txt"), good = dir.path("good.txt");
    write_file(list, text_bytes(batch_text(dir, &runs, &numbers)));
    const Captured c = batch_inprocess({list});
    EXPECT_EQ(c.status, 1);
    const std::string head = "segmix-batch: line 10: unbalanced quote\n"
                             "segmix-batch: 7 runs, 3 failed (lines 6, 8, 10), ";
    EXPECT_EQ(c.err.substr(0, head.size()), head) << c.err;
    EXPECT_EQ(c.err.substr(c.err.size() - 3), " s\n") << c.err;
    EXPECT_NE(c.out.find(msg::usage), std::string::npos);

    // Only the runs that succeed: status 0. A file of comments runs nothing.
    write_file(good, text_bytes("'" + dir.path("g") + "' '" + dir.path("src.wav") +
                              "' 0 20 2 2\n# only this\n"));
    const char *ok_head = "segmix-batch: 1 runs, 0 failed, ";
    Captured ok = batch_inprocess({good});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.err.substr(0, std::strlen(ok_head)), ok_head) << ok.err;
    write_file(good, text_bytes("# nothing\n\n"));
    ok = batch_inprocess({good});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "");
    EXPECT_EQ(ok.err.substr(0, 32), "segmix-batch: 0 runs, 0 failed, ") << ok.err;

    // A wrong command line and an input that cannot be read.
    const Captured usage = batch_inprocess({list, list});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, msg::batch_usage);
    const std::string missing = dir.path("missing.txt");
    const Captured none = batch_inprocess({missing});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "segmix-batch: cannot read " + missing + ": No such file or directory\n");
}

// The lines of the summary after the first, as a person reads them.
std::vector<std::string> summary_details(const std::string &err)
{
    std::vector<std::string> lines = lines_of(err);
    std::vector<std::string> details;
    bool after = false;
    for (const std::string &l : lines) {
        if (after)
            details.push_back(l);
        after = after || l.find(" runs, ") != std::string::npos;
    }
    return details;
}

// The summary tells what the statuses do not: notes that are silence because
// their source is missing, notes at another rate than their output's, and
// notes that clipped. Standard output and the files are those of the runs.
TEST(Batch, SummaryTellsOfRestsRatesAndClipping)
{
    TempDir dir;
    write_source(dir); // 44100 Hz, samples up to 10000
    WavSpec half;
    half.sample_rate = 22050;
    write_file(dir.path("half.wav"), make_wav(Samples(4000, 100), half));
    const std::string out = sq(dir.path("out")), src = sq(dir.path("src.wav"));
    std::string lines;
    lines += out + " " + src + " 0 20 2 2\n";                                   // 1: plain
    lines += out + " " + sq(dir.path("none.wav")) + " 0 20 2 2\n";              // 2: a rest
    lines += out + " " + sq(dir.path("half.wav")) + " 0 20 2 2\n";              // 3: 22050 Hz
    lines += out + " " + src + " 0 20 2 2 0 400 400 400 400\n";                 // 4: clips
    lines += "# a comment\n";                                                   // 5
    lines += out + " " + sq(dir.path("gone.wav")) + " 0 20 2 2 0 400 400 400 400\n"; // 6: a rest
    lines += out + " " + src + " 0 20 60 50\n";                                 // 7: refused
    write_file(dir.path("notes.txt"), text_bytes(lines));
    const Captured c = batch_inprocess({dir.path("notes.txt")});
    EXPECT_EQ(c.status, 1);
    ASSERT_NE(c.err.find("segmix-batch: 6 runs, 1 failed (lines 7), "), std::string::npos) << c.err;
    const std::vector<std::string> expected = {
        "segmix-batch: notes rendered as silence, their source missing or unreadable: 2 (lines 2, 6)",
        "segmix-batch: notes at another sample rate than their output, which play at the wrong speed: 1 (lines 3)",
        "segmix-batch: notes with clipped samples: 1 (lines 4), 143 samples in all",
    };
    EXPECT_EQ(summary_details(c.err), expected);
    // Many of one kind: the first ten, then "...".
    std::string rests;
    for (int i = 0; i < 12; ++i)
        rests += out + " " + sq(dir.path("none.wav")) + " 0 5 0 0\n";
    write_file(dir.path("rests.txt"), text_bytes(rests));
    const Captured r = batch_inprocess({dir.path("rests.txt")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(summary_details(r.err),
              std::vector<std::string>{"segmix-batch: notes rendered as silence, their source missing or "
                                       "unreadable: 12 (lines 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, ...)"});
}

// What a line holds beside its words: a byte-order mark before the first
// line is no part of it; a NUL byte, or a line longer than any run needs,
// fails that line alone.
TEST(Batch, MarksNulBytesAndLongLines)
{
    TempDir dir;
    write_source(dir);
    const std::string src = sq(dir.path("src.wav"));
    std::string text = "\xEF\xBB\xBF" + sq(dir.path("first")) + " " + src + " 0 20 2 2\n";
    text += sq(dir.path("se")) + std::string(1, '\0') + "cond " + src + " 0 20 2 2\n";
    text += sq(dir.path("long")) + " " + src + " 0 20 2 2 # " + std::string(2 << 20, 'x') + "\n";
    text += sq(dir.path("third")) + " " + src + " 0 20 2 2";
    write_file(dir.path("notes.txt"), text_bytes(text));
    const Captured c = batch_inprocess({dir.path("notes.txt")});
    EXPECT_EQ(c.status, 1);
    EXPECT_TRUE(file_exists(dir.path("first.whd")));
    EXPECT_TRUE(file_exists(dir.path("third.whd")));
    EXPECT_FALSE(file_exists(dir.path("se.whd")));
    EXPECT_FALSE(file_exists(dir.path("long.whd")));
    const std::vector<std::string> err = lines_of(c.err);
    ASSERT_GE(err.size(), 3u);
    EXPECT_EQ(err[0], "segmix-batch: line 2: NUL byte");
    EXPECT_EQ(err[1], "segmix-batch: line 3: longer than 1048576 bytes");
    EXPECT_EQ(err[2].rfind("segmix-batch: 4 runs, 2 failed (lines 2, 3), ", 0), 0u) << err[2];
}

// --view draws the phrase after the runs: the same picture as segmix-view's of
// the same notes, whether they came from a file or from standard input.
TEST(Batch, ViewDrawsThePhraseAfterItsRuns)
{
    TempDir dir;
    write_source(dir);
    const std::string out = sq(dir.path("out")), src = sq(dir.path("src.wav"));
    const std::string notes = out + " " + src + " 0 20 2 2\n# a rest\n" + out + " " +
                              sq(dir.path("none.wav")) + " 0 10 0 0\n" + out + " " + src +
                              " 40 20 2 2 0 400 400 400 400 5\n";
    write_file(dir.path("notes.txt"), text_bytes(notes));
    const Captured c = batch_inprocess({"--view", dir.path("batch.svg"), dir.path("notes.txt")});
    EXPECT_EQ(c.status, 0) << c.err;
    const RunResult v = run_program(SEGMIX_VIEW_EXE, {dir.path("notes.txt"), "-o", dir.path("view.svg")});
    EXPECT_EQ(v.status, 0) << v.out;
    const Bytes picture = read_file(dir.path("view.svg"));
    EXPECT_GT(picture.size(), 1000u);
    EXPECT_EQ(read_file(dir.path("batch.svg")), picture);

    // From standard input, the notes kept for the picture.
    for (const char *ext : {".whd", ".dat"})
        std::filesystem::remove(utf8_path(dir.path("out") + ext));
#ifdef _WIN32
    const std::string command = "\"\"" + std::string(SEGMIX_BATCH_EXE) + "\" --view \"" +
                                dir.path("stdin.svg") + "\" < \"" + dir.path("notes.txt") + "\" > NUL 2>&1\"";
#else
    const std::string command = "'" + std::string(SEGMIX_BATCH_EXE) + "' --view '" + dir.path("stdin.svg") +
                                "' < '" + dir.path("notes.txt") + "' >/dev/null 2>&1";
#endif
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(dir.path("stdin.svg")), picture);

    // A wrong command line.
    for (const Words &args : {Words{"--view"}, Words{"--view", "a.svg", "--view", "b.svg"},
                              Words{"a", "b"}}) {
        const Captured bad = batch_inprocess(args);
        EXPECT_EQ(bad.status, 2);
        EXPECT_EQ(bad.err, msg::batch_usage);
    }
}

// Each line runs as soon as it has been read: a driver that writes a line into
// the pipe finds its note rendered before it writes the next.
TEST(Batch, StreamsLinesAsTheyArrive)
{
    TempDir dir;
    write_source(dir);
    const std::string line = sq(dir.path("out")) + " " + sq(dir.path("src.wav")) + " 0 20 2 2\n";
#ifdef _WIN32
    std::FILE *pipe = _popen(("\"\"" + std::string(SEGMIX_BATCH_EXE) + "\" > NUL 2>&1\"").c_str(), "wb");
#else
    std::FILE *pipe = popen(("'" + std::string(SEGMIX_BATCH_EXE) + "' >/dev/null 2>&1").c_str(), "w");
#endif
    ASSERT_NE(pipe, nullptr);
    for (int note = 1; note <= 2; ++note) {
        ASSERT_GE(std::fputs(line.c_str(), pipe), 0);
        std::fflush(pipe);
        // The header file counts the notes rendered so far: 20 ms, 882
        // samples, 1764 bytes each.
        bool rendered = false;
        for (int wait = 0; wait < 1000 && !rendered; ++wait) {
            const std::optional<Bytes> h = read_if(dir.path("out.whd"));
            rendered = h && h->size() == 44 && le32_at(*h, 40) == 1764u * static_cast<unsigned>(note);
            if (!rendered)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(rendered) << "note " << note << " was not rendered while the pipe stayed open";
    }
#ifdef _WIN32
    EXPECT_EQ(_pclose(pipe), 0);
#else
    EXPECT_EQ(pclose(pipe), 0);
#endif
}

#ifndef _WIN32
// However long the input, segmix-batch holds one line of it: 101 MB of lines
// and a line of 8 MB through a pipe leave its memory where a few lines do.
TEST(Batch, MemoryStaysBoundedOnALongInput)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], STDIN_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(fds[1]);
        // A sanitized build keeps freed memory aside for a while (quarantine):
        // what is measured is what the program holds, so it keeps none.
        const char *asan = std::getenv("ASAN_OPTIONS");
        const std::string options = std::string(asan ? asan : "") + ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        execl(SEGMIX_BATCH_EXE, SEGMIX_BATCH_EXE, "-", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[0]);
    const std::string comments = [] {
        std::string line = "# " + std::string(97, 'c') + "\n";
        std::string block;
        for (int i = 0; i < 10000; ++i)
            block += line;
        return block; // 1 MB
    }();
    bool written = true;
    for (int mb = 0; mb < 100 && written; ++mb)
        written = write(fds[1], comments.data(), comments.size()) == static_cast<ssize_t>(comments.size());
    const std::string huge = std::string(8 << 20, 'x') + "\n";
    written = written && write(fds[1], huge.data(), huge.size()) == static_cast<ssize_t>(huge.size());
    // Once this much more has gone into the pipe, the long line has been read.
    written = written && write(fds[1], comments.data(), comments.size()) == static_cast<ssize_t>(comments.size());
    // The high-water mark of the program's own memory (not the test's, which
    // the child was until it started the program).
    long peak_kb = -1;
    if (std::FILE *status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmHWM: %ld kB", &peak_kb) == 1)
                break;
        std::fclose(status);
    }
    close(fds[1]);
    int w = 0;
    ASSERT_EQ(waitpid(pid, &w, 0), pid);
    EXPECT_TRUE(written);
    ASSERT_TRUE(WIFEXITED(w));
    EXPECT_EQ(WEXITSTATUS(w), 1); // the long line failed
    std::printf("segmix-batch read 109 MB with at most %ld KB resident\n", peak_kb);
    ASSERT_GT(peak_kb, 0);
    EXPECT_LT(peak_kb, 64L * 1024);
}

// On a terminal: with no FILE, a hint on standard error before the notes are
// read from the keyboard, then the notes as they are typed, the progress as
// a count (the total is not known), and the summary.
TEST(Batch, OnATerminal)
{
    TempDir dir;
    write_source(dir);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int fd = open(slave.c_str(), O_RDWR);
        dup2(fd, STDIN_FILENO);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        execl(SEGMIX_BATCH_EXE, SEGMIX_BATCH_EXE, static_cast<char *>(nullptr));
        _exit(127);
    }
    // Reads what the terminal shows until it holds text, or 10 s have passed.
    std::string shown;
    const auto read_until = [&](const std::string &text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (shown.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buf[4096];
                const ssize_t n = read(master, buf, sizeof buf);
                if (n <= 0)
                    break;
                shown.append(buf, static_cast<std::size_t>(n));
            }
        }
        return shown.find(text) != std::string::npos;
    };
    EXPECT_TRUE(read_until("reading notes from the terminal, one per line; Ctrl-D to end")) << shown;
    const std::string line = sq(dir.path("out")) + " " + sq(dir.path("src.wav")) + " 0 20 2 2\n";
    ASSERT_EQ(write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    EXPECT_TRUE(read_until("1 lines")) << shown;
    ASSERT_EQ(write(master, "\x04", 1), 1); // Ctrl-D at the start of a line: the end
    EXPECT_TRUE(read_until("segmix-batch: 1 runs, 0 failed, ")) << shown;
    int w = 0;
    waitpid(pid, &w, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(w) && WEXITSTATUS(w) == 0);
    EXPECT_TRUE(file_exists(dir.path("out.whd")));
}
#endif

} // namespace
