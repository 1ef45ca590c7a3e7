// segmix-batch: the line format, the progress bar, and a whole batch against
// the same runs made one process at a time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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
    EXPECT_EQ(none.err, "segmix-batch: cannot read " + missing + "\n");
}

} // namespace
