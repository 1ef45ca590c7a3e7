// The built executables, run as a driving program runs them: standard output
// byte for byte and the exit status.
#include <gtest/gtest.h>

#include <string>

#include "front/run.h"
#include "messages.h"
#include "util.h"

namespace {

TEST(Segmix, MessagesAndExitStatus)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav"), none = dir.path("none.wav");
    write_file(src, make_wav({1000, 2000, 3000, 4000}));
    WavSpec eight;
    eight.bits = 8;
    write_file(dir.path("eight.wav"), make_wav({1, 2}, eight));
    write_file(dir.path("text.wav"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'});
    const std::string rate = "samples/sec:44100\n";
    struct Case {
        std::vector<std::string> args;
        const char *samples;
        int status;
        std::string out;
    } cases[] = {
        {{out, src, "0", "10", "0"}, nullptr, exit_failure_status, msg::usage},
        {{out, src, "0", "10", "6", "5"}, nullptr, exit_failure_status, rate + msg::bad_params},
        {{out, dir.path("text.wav"), "0", "10", "0", "0"}, nullptr, exit_failure_status, rate + msg::not_riff},
        {{out, dir.path("eight.wav"), "0", "10", "0", "0"}, nullptr, exit_failure_status,
         rate + "infile_size:40\n" + msg::only_16bit},
        {{out, none, "0", "10", "0", "0"}, "22050", 0, "samples/sec:22050\ninfile_size:36\n"},
        {{out, src, "0", "10", "0", "0", "0", "100", "100", "0", "0", "5"}, nullptr, 0, rate + "infile_size:44\n"},
    };
    for (const Case &c : cases) {
        const RunResult r = run_program(SEGMIX_EXE, c.args, c.samples);
        EXPECT_EQ(r.status, c.status) << c.out;
        EXPECT_EQ(r.out, console_text(c.out));
    }
    // The first run that passed wrote 221 samples (10 ms of silence at 22050 Hz);
    // the second's overlap of 221 samples took all of them back under its 441.
    const Bytes h = read_file(out + ".whd");
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(le32_at(h, 40), 2u * 441);
    EXPECT_EQ(le32_at(h, 24), 22050u); // the first run's rate made the header
}

TEST(Segjoin, JoinsAndReportsFailures)
{
    TempDir dir;
    const std::string out = dir.path("out");
    write_file(out + ".whd", {'R', 'I', 'F', 'F'});
    write_file(out + ".dat", {1, 2});
    RunResult r = run_program(SEGJOIN_EXE, {out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(out), Bytes({'R', 'I', 'F', 'F', 1, 2}));
    r = run_program(SEGJOIN_EXE, {out, dir.path("other.wav")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.path("other.wav")), read_file(out));

    r = run_program(SEGJOIN_EXE, {dir.path("none")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, console_text("open failed on " + dir.path("none") + ".whd\n"));
    r = run_program(SEGJOIN_EXE, {out, dir.path("no/such/dir.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, console_text("create failed on " + dir.path("no/such/dir.wav") + "\n"));
    r = run_program(SEGJOIN_EXE, {});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, console_text(msg::join_usage));
}

TEST(RunNote, RunsInProcessWithTheCountsOfItsArguments)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    WavSpec shape;
    shape.sample_rate = 1000;
    write_file(src, make_wav(std::vector<std::int16_t>(100, 10), shape));
    auto data_size = [&] { return le32_at(read_file(out + ".whd"), 40); };
    testing::internal::CaptureStdout();
    // p4 given but ovr empty: count 12, so the long p4 that would break the order is not read.
    EXPECT_EQ(run_note(out.c_str(), src.c_str(), "0", "10", "0", "0", "0", "100", "100", "100",
                       "100", "", "50", nullptr, nullptr), 0);
    EXPECT_EQ(data_size(), 20u);
    // ovr given, p4 empty: count 13, ovr read: -2 ms is -1.5 samples, a gap of 1.
    EXPECT_EQ(run_note(out.c_str(), src.c_str(), "0", "10", "0", "0", "0", "100", "100", "100",
                       "100", "-2", "", nullptr, nullptr), 0);
    EXPECT_EQ(data_size(), 20u + 2 + 20);
    // Both null: count 13, ovr 0.
    EXPECT_EQ(run_note(out.c_str(), src.c_str(), "0", "10", "0", "0", "0", "100", "100", "100",
                       "100", nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(data_size(), 62u);
    // Both given: count 16, so p4 is read and breaks the order.
    EXPECT_EQ(run_note(out.c_str(), src.c_str(), "0", "10", "0", "0", "0", "100", "100", "100",
                       "100", "1", "50", "0", "100"), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(data_size(), 62u);
}

} // namespace
