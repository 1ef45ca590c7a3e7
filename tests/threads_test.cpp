// Runs on different outputs at the same time, on several threads of one
// process, give byte for byte the files and the messages that the same runs
// give one at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "front/run.h"
#include "util.h"

namespace {

constexpr int phrases = 6;
constexpr int notes = 24;

// Three sources of 120 ms: mono at 44100 Hz, stereo at 22050 Hz, mono at 8000 Hz.
void write_sources(const TempDir &dir)
{
    const struct {
        std::int32_t rate;
        std::uint16_t channels;
    } kinds[] = {{44100, 1}, {22050, 2}, {8000, 1}};
    for (int k = 0; k < 3; ++k) {
        WavSpec shape;
        shape.sample_rate = kinds[k].rate;
        shape.channels = kinds[k].channels;
        std::vector<std::int16_t> samples;
        const int count = kinds[k].rate * 12 / 100 * kinds[k].channels;
        for (int i = 0; i < count; ++i)
            samples.push_back(static_cast<std::int16_t>((i * (151 + 40 * k)) % 30001 - 15000));
        write_file(dir.path("src" + std::to_string(k) + ".wav"), make_wav(samples, shape));
    }
}

// Note i of phrase p: offsets, lengths, gains and overlaps (into the previous
// note, none, or a gap before the note) vary with both.
std::vector<std::string> note_args(const TempDir &dir, int p, int i)
{
    const int ovr = i == 0 ? 0 : (i % 7 == 3 ? -4 : 3 + (p + i) % 5);
    return {dir.path("out" + std::to_string(p)),
            dir.path("src" + std::to_string(p % 3) + ".wav"),
            std::to_string((i * 13 + p * 7) % 60),
            std::to_string(20 + (i * 5 + p) % 30),
            "2", "3", "4",
            std::to_string(60 + (i * 3) % 40), "90", "70", "50",
            std::to_string(ovr),
            "2", "1", "80"};
}

// Renders phrase p into dir, note after note, printing on out; the statuses
// go to *status.
void render_phrase(const TempDir &dir, int p, std::FILE *out, std::vector<int> *status)
{
    for (int i = 0; i < notes; ++i) {
        const Argv argv(note_args(dir, p, i));
        status->push_back(segmix_main(argv.argc(), argv.argv(), out));
    }
}

TEST(Threads, RunsOnDifferentOutputsAtOnceMatchRunsOneAtATime)
{
    TempDir one;
    write_sources(one);
    std::vector<int> one_status;
    std::vector<std::string> one_out;
    for (int p = 0; p < phrases; ++p) {
        Capture out;
        render_phrase(one, p, out.file(), &one_status);
        one_out.push_back(out.text());
    }
    ASSERT_EQ(one_status, std::vector<int>(phrases * notes, 0));

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempDir many;
        write_sources(many);
        std::vector<std::vector<int>> status(phrases);
        std::vector<Capture> out(phrases);
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int p = 0; p < phrases; ++p)
            threads.emplace_back([&, p] {
                const auto at = static_cast<std::size_t>(p);
                // Every thread starts its phrase once all of them are up.
                ++ready;
                while (ready.load() < phrases)
                    std::this_thread::yield();
                render_phrase(many, p, out[at].file(), &status[at]);
            });
        for (std::thread &t : threads)
            t.join();

        for (int p = 0; p < phrases; ++p) {
            SCOPED_TRACE("phrase " + std::to_string(p));
            EXPECT_EQ(status[static_cast<std::size_t>(p)], std::vector<int>(notes, 0));
            for (const char *ext : {".whd", ".dat"}) {
                const std::string name = "out" + std::to_string(p) + ext;
                const Bytes expected = read_file(one.path(name));
                EXPECT_GE(expected.size(), 44u) << name;
                EXPECT_EQ(read_file(many.path(name)), expected) << name;
            }
            EXPECT_EQ(out[static_cast<std::size_t>(p)].text(), one_out[static_cast<std::size_t>(p)]);
        }
    }
}

} // namespace
