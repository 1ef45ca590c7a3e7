// One writer per output: runs on one output at the same time, from several
// processes or several threads, follow one another. Every run returns 0, the
// header agrees with the data file whenever no run holds the output, and the
// phrase grows by exactly what the same runs give one after another.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "front/run.h"
#include "util.h"
#include "wave/file.h"

namespace {

// A note of 20 samples that overlaps the output by 5: each run after the
// first adds 15 samples, whatever order the runs take.
std::vector<std::string> note(const std::string &out, const std::string &src, int i)
{
    return full_gain_note(out, src, 100 + 7 * (i % 50), 20, "5");
}

// Takes the output's lock again and again until stop, and counts the times
// that the files disagreed while no run held them.
class Checker {
public:
    explicit Checker(std::string out) : out_(std::move(out))
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                {
                    Locked l = lock_file((out_ + ".lock").c_str());
                    if (l.state == Locking::held) {
                        const OutputFiles f = files_of(out_);
                        ++checks_;
                        if (f.header && (!consistent(f) || f.journal))
                            ++broken_;
                    }
                }
                // Leave the runs room to take the lock in turn.
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });
    }
    ~Checker() { finish(); }

    void finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    int checks() const { return checks_; }
    int broken() const { return broken_; }

private:
    std::string out_;
    std::atomic<bool> stop_{false};
    std::atomic<int> checks_{0}, broken_{0};
    std::thread thread_;
};

// The data length of n notes run one after another.
std::size_t sequential_length(const TempDir &dir, const std::string &src, int n)
{
    const std::string out = dir.path("sequential");
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(run_inprocess(note(out, src, i)).status, 0);
    const OutputFiles f = files_of(out);
    EXPECT_TRUE(consistent(f));
    return f.data ? f.data->size() : 0;
}

TEST(OneWriter, TwoProcessesOfTwoHundredNotes)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    write_file(src, ramp_source());
    // Two batch runners at once, each with 200 notes on the same output.
    std::string lines;
    for (int i = 0; i < 200; ++i) {
        for (const std::string &w : note(out, src, i))
            lines += "'" + w + "' ";
        lines += "\n";
    }
    write_file(dir.path("notes.txt"), text_bytes(lines));
    Checker checker(out);
    RunResult results[2];
    std::thread drivers[2];
    for (int d = 0; d < 2; ++d)
        drivers[d] = std::thread([&, d] { results[d] = run_program(SEGMIX_BATCH_EXE, {dir.path("notes.txt")}); });
    for (std::thread &t : drivers)
        t.join();
    checker.finish();
    for (const RunResult &r : results) {
        EXPECT_EQ(r.status, 0); // every run of the batch returned 0
        EXPECT_EQ(lines_of(r.out).size(), 400u) << "two lines a note, and nothing else";
    }
    const OutputFiles f = files_of(out);
    EXPECT_TRUE(consistent(f));
    EXPECT_FALSE(f.journal);
    EXPECT_EQ(f.data->size(), sequential_length(dir, src, 400));
    EXPECT_GT(checker.checks(), 0);
    EXPECT_EQ(checker.broken(), 0);
}

TEST(OneWriter, FourThreadsOfFiftyNotes)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    write_file(src, ramp_source());
    Checker checker(out);
    std::vector<int> status[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            Capture printed;
            for (int i = 0; i < 50; ++i) {
                const Argv argv(note(out, src, i));
                status[t].push_back(segmix_main(argv.argc(), argv.argv(), printed.file()));
            }
        });
    for (std::thread &t : threads)
        t.join();
    checker.finish();
    for (const std::vector<int> &s : status)
        EXPECT_EQ(s, std::vector<int>(50, 0));
    const OutputFiles f = files_of(out);
    EXPECT_TRUE(consistent(f));
    EXPECT_EQ(f.data->size(), sequential_length(dir, src, 200));
    EXPECT_EQ(checker.broken(), 0);
}

// A run that finds the output held past the wait changes nothing, and says so.
TEST(OneWriter, BusyOutputIsRefused)
{
    TempDir dir;
    const std::string out = dir.path("out"), src = dir.path("src.wav");
    write_file(src, ramp_source());
    ASSERT_EQ(run_inprocess(note(out, src, 0)).status, 0);
    const OutputFiles before = files_of(out);
    {
        Locked held = lock_file((out + ".lock").c_str());
        ASSERT_EQ(held.state, Locking::held);
        file_lock_wait(50);
        const RunResult r = run_inprocess(note(out, src, 1));
        file_lock_wait(30000);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.out, "samples/sec:44100\ninfile_size:2036\noutput busy: " + out + "\n");
        EXPECT_EQ(files_of(out), before);
        // Runs on another output do not wait for this one.
        file_lock_wait(50);
        const RunResult other = run_inprocess(note(dir.path("other"), src, 0));
        file_lock_wait(30000);
        EXPECT_EQ(other.status, 0);
    }
    // Once it is let go, the next run goes through.
    EXPECT_EQ(run_inprocess(note(out, src, 1)).status, 0);
}

} // namespace
