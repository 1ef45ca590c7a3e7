// Runs killed at random moments: segmix is started on a long note that
// overlaps the phrase so far and killed with SIGKILL after a random delay,
// then the next note runs. However the kill fell, the output must come out as
// if the killed run had either never started or completed: its header's sizes
// match the data file, and its samples are those of one of the two phrases.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "util.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> note_args(const std::string &out, const std::string &src, int offset,
                                   int length, int ovr)
{
    return {out, src, std::to_string(offset), std::to_string(length), "5", "5", "5", "100", "90",
            "80", "70", std::to_string(ovr), "5", "5", "95"};
}

// Starts an executable with its output thrown away.
pid_t start(const std::vector<std::string> &args, const char *exe = SEGMIX_EXE)
{
    std::vector<const char *> argv{exe};
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(exe, const_cast<char *const *>(argv.data()));
        _exit(127);
    }
    return pid;
}

TEST(Interrupt, KilledRunsLeaveAWholePhrase)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    const std::string jnl = out + ".jnl";
    // Eight seconds of a 44100 Hz source: a note of them writes 700 KB.
    std::vector<std::int16_t> s(8 * 44100);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>((i * 7919) % 60000 - 30000);
    write_file(src, make_wav(s));

    // The phrase so far, then the long note that is killed, then the next note.
    ASSERT_EQ(run_program(SEGMIX_EXE, note_args(out, src, 0, 1000, 0)).status, 0);
    const OutputFiles before = files_of(out);
    const auto long_note = note_args(out, src, 100, 8000, 300);
    const auto next_note = note_args(out, src, 2000, 200, 50);
    ASSERT_EQ(run_inprocess(next_note).status, 0);
    const OutputFiles without = files_of(out);
    const auto put_back = [&] { set_files(out, before); };
    put_back();
    const auto t0 = std::chrono::steady_clock::now();
    int w = 0;
    waitpid(start(long_note), &w, 0);
    ASSERT_TRUE(WIFEXITED(w) && WEXITSTATUS(w) == 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - t0);
    ASSERT_EQ(run_inprocess(next_note).status, 0);
    const OutputFiles with = files_of(out);

    // One kill in three falls anywhere in a run, and a little past it; the
    // others wait for the run's journal to appear (its commit has begun) and
    // fall up to 0.3 ms later, while it writes.
    std::mt19937 rng(7);
    std::uniform_int_distribution<long long> anywhere(0, took.count() * 6 / 5), writing(0, 300);
    int killed = 0, finished = 0, torn = 0, journals = 0, inconsistent = 0, neither = 0;
    const int rounds = 150;
    for (int i = 0; i < rounds; ++i) {
        put_back();
        const pid_t pid = start(long_note);
        bool ended = false;
        if (i % 3 == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(anywhere(rng)));
        } else {
            while (!fs::exists(jnl) && !(ended = waitpid(pid, &w, WNOHANG) == pid))
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            std::this_thread::sleep_for(std::chrono::microseconds(writing(rng)));
        }
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &w, 0);
        }
        if (WIFSIGNALED(w))
            ++killed;
        else
            ++finished;
        // As the kill left it: the two files may disagree until the next run.
        torn += consistent(files_of(out)) ? 0 : 1;
        journals += fs::exists(jnl) ? 1 : 0;

        const RunResult r = run_inprocess(next_note);
        EXPECT_EQ(r.status, 0) << r.out;
        const OutputFiles after = files_of(out);
        if (!consistent(after))
            ++inconsistent;
        if (!(after == without) && !(after == with))
            ++neither;
        EXPECT_FALSE(fs::exists(jnl));
    }
    std::printf("%d runs: %d killed, %d finished first; %d killed runs left the files disagreeing, "
                "%d left a journal; after the next note %d inconsistent, %d neither phrase\n",
                rounds, killed, finished, torn, journals, inconsistent, neither);
    EXPECT_EQ(inconsistent, 0);
    EXPECT_EQ(neither, 0);
}

// segjoin killed at random moments: the joined file's name holds the old file
// or the whole new one, never a part.
TEST(Interrupt, KilledJoinsLeaveTheOldFileOrTheNew)
{
    TempDir dir;
    const std::string out = dir.path("out"), wav = dir.path("phrase.wav");
    // 16 MB of samples: a join of some milliseconds.
    Bytes data(16 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 131);
    write_file(out + ".whd", header_for(static_cast<std::uint32_t>(data.size())));
    write_file(out + ".dat", data);
    Bytes joined = header_for(static_cast<std::uint32_t>(data.size()));
    joined.insert(joined.end(), data.begin(), data.end());
    const Bytes old = text_bytes("an earlier phrase");

    write_file(wav, old);
    const auto t0 = std::chrono::steady_clock::now();
    int w = 0;
    waitpid(start({out, wav}, SEGJOIN_EXE), &w, 0);
    ASSERT_TRUE(WIFEXITED(w) && WEXITSTATUS(w) == 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - t0);
    ASSERT_EQ(read_file(wav), joined);

    std::mt19937 rng(11);
    std::uniform_int_distribution<long long> when(0, took.count() * 6 / 5);
    int killed = 0, olds = 0, news = 0, neither = 0;
    const int rounds = 40;
    for (int i = 0; i < rounds; ++i) {
        write_file(wav, old);
        const pid_t pid = start({out, wav}, SEGJOIN_EXE);
        std::this_thread::sleep_for(std::chrono::microseconds(when(rng)));
        kill(pid, SIGKILL);
        waitpid(pid, &w, 0);
        killed += WIFSIGNALED(w) ? 1 : 0;
        const Bytes now = read_file(wav);
        if (now == old)
            ++olds;
        else if (now == joined)
            ++news;
        else
            ++neither;
    }
    std::printf("%d joins: %d killed; the file was the old one %d times, the new one %d times, "
                "neither %d times\n", rounds, killed, olds, news, neither);
    EXPECT_EQ(neither, 0);
    EXPECT_GT(killed, 0);
}

} // namespace
#endif
