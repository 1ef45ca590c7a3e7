// Runs in sequence on one output: the header file and the data file after
// every run, the overlap and the gap, damaged and inconsistent outputs, and
// the join.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages.h"
#include "util.h"
#include "wave/join.h"

namespace {

using Samples = std::vector<std::int16_t>;

// A source at 1000 frames per second, so that a millisecond is one frame:
// frame i holds 100 + i.
constexpr int source_frames = 1000;

Samples source_samples()
{
    Samples s(source_frames);
    for (int i = 0; i < source_frames; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(100 + i);
    return s;
}

Samples stretch(int offset, int length)
{
    const Samples s = source_samples();
    return Samples(s.begin() + offset, s.begin() + offset + length);
}

Samples concat(std::initializer_list<Samples> parts)
{
    Samples all;
    for (const Samples &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Samples mix(const Samples &a, const Samples &b)
{
    Samples m(a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        m[i] = static_cast<std::int16_t>(a[i] + b[i]);
    return m;
}


Bytes bytes_of(const Samples &s)
{
    Bytes b;
    for (std::int16_t v : s)
        append_le16(&b, static_cast<std::uint16_t>(v));
    return b;
}

// One output in a folder of its own, and notes rendered into it at full gain
// (every envelope point at 100%, so each note is the source stretch itself).
class Phrase {
public:
    Phrase() : out_(dir_.path("out")), src_(dir_.path("src.wav"))
    {
        WavSpec shape;
        shape.sample_rate = 1000;
        write_file(src_, make_wav(source_samples(), shape));
    }

    RunResult note(int offset, int length, const std::string &ovr = "0", const char *samples = nullptr)
    {
        return run_inprocess({out_, src_, std::to_string(offset), std::to_string(length), "0", "0",
                              "0", "100", "100", "100", "100", ovr, "0", "0", "100"},
                             samples);
    }

    std::string header_name() const { return out_ + ".whd"; }
    std::string data_name() const { return out_ + ".dat"; }
    Bytes header() const { return read_file(header_name()); }
    Samples data() const { return samples_of(read_file(data_name())); }
    const std::string &out() const { return out_; }
    const TempDir &dir() const { return dir_; }

    // Both files hold exactly this phrase.
    void expect(const Samples &s, int line) const
    {
        EXPECT_EQ(header(), header_for(static_cast<std::uint32_t>(2 * s.size()))) << "line " << line;
        EXPECT_EQ(data(), s) << "line " << line;
    }

private:
    TempDir dir_;
    std::string out_, src_;
};

const std::string run_ok = "samples/sec:44100\ninfile_size:2036\n";

TEST(Output, FirstRunsAndPlainAppends)
{
    Phrase ph;
    EXPECT_EQ(ph.note(0, 10).out, run_ok);
    ph.expect(stretch(0, 10), __LINE__);
    EXPECT_EQ(ph.note(500, 5).status, 0);
    ph.expect(concat({stretch(0, 10), stretch(500, 5)}), __LINE__);
}

TEST(Output, OverlapAgainstTheEarlierOutput)
{
    const Samples a = stretch(0, 10);
    struct Case {
        const char *name;
        int first_length, ovr, length;
        Samples expected;
    } cases[] = {
        {"shorter than the output", 10, 3, 10,
         concat({stretch(0, 7), mix(stretch(7, 3), stretch(100, 3)), stretch(103, 7)})},
        {"equal to the output", 5, 5, 10, concat({mix(stretch(0, 5), stretch(100, 5)), stretch(105, 5)})},
        {"longer than the output", 3, 5, 10,
         concat({stretch(100, 2), mix(stretch(0, 3), stretch(102, 3)), stretch(105, 5)})},
        // The earlier samples past the note's end come back unchanged.
        {"longer than the note", 10, 6, 4,
         concat({stretch(0, 4), mix(stretch(4, 4), stretch(100, 4)), stretch(8, 2)})},
        // -3 ms is -2.5 samples at 1000 Hz, and truncation toward zero gives 2.
        {"a gap", 10, -3, 4, concat({stretch(0, 10), Samples(2, 0), stretch(100, 4)})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Phrase ph;
        ASSERT_EQ(ph.note(0, c.first_length).status, 0);
        ASSERT_EQ(ph.note(100, c.length, std::to_string(c.ovr)).status, 0);
        ph.expect(c.expected, __LINE__);
    }
}

TEST(Output, FirstRunIgnoresTheOverlap)
{
    Phrase gap;
    ASSERT_EQ(gap.note(0, 4, "-3").status, 0);
    gap.expect(stretch(0, 4), __LINE__);
    // A positive overlap longer than the note: nothing mixed, the buffer ends in
    // silence, and all of it is counted.
    Phrase longer;
    ASSERT_EQ(longer.note(0, 4, "6").status, 0);
    longer.expect(concat({stretch(0, 4), Samples(2, 0)}), __LINE__);
}

TEST(Output, SampleRateOfAFreshHeader)
{
    Phrase ph;
    EXPECT_EQ(ph.note(0, 4, "0", "22050").out, "samples/sec:22050\ninfile_size:2036\n");
    EXPECT_EQ(ph.header(), header_for(8, 22050));
}

TEST(Output, EmptyNoteRewritesTheHeaderAndCreatesTheDataFile)
{
    Phrase ph;
    ASSERT_EQ(ph.note(0, 10).status, 0);
    ASSERT_EQ(ph.note(20, 0).status, 0);
    ph.expect(stretch(0, 10), __LINE__);
    Phrase fresh;
    ASSERT_EQ(fresh.note(20, 0).status, 0);
    EXPECT_TRUE(file_exists(fresh.data_name()));
    fresh.expect({}, __LINE__);
}

TEST(Output, StatesThatAreNotFailures)
{
    {
        SCOPED_TRACE("empty header file: a fresh header after the data file's bytes");
        Phrase ph;
        write_file(ph.header_name(), {});
        write_file(ph.data_name(), bytes_of({7, 8}));
        const RunResult r = ph.note(0, 3);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, run_ok + msg::read_binload);
        EXPECT_EQ(ph.header(), header_for(6));
        EXPECT_EQ(ph.data(), concat({{7, 8}, stretch(0, 3)}));
    }
    {
        SCOPED_TRACE("header file longer than 44 bytes");
        Phrase ph;
        ASSERT_EQ(ph.note(0, 4).status, 0);
        Bytes h = ph.header();
        h.insert(h.end(), {'j', 'u', 'n', 'k'});
        write_file(ph.header_name(), h);
        ASSERT_EQ(ph.note(10, 2).status, 0);
        ph.expect(concat({stretch(0, 4), stretch(10, 2)}), __LINE__);
    }
    {
        SCOPED_TRACE("header without a data file: the note goes unmixed");
        Phrase ph;
        write_file(ph.header_name(), header_for(20));
        ASSERT_EQ(ph.note(0, 4, "2").status, 0);
        EXPECT_EQ(ph.header(), header_for(28));
        EXPECT_EQ(ph.data(), stretch(0, 4));
    }
    {
        SCOPED_TRACE("a header whose format differs is carried over");
        Phrase ph;
        Bytes h = header_for(4, 8000);
        set_le16(&h, 22, 2);
        write_file(ph.header_name(), h);
        write_file(ph.data_name(), bytes_of({1, 2}));
        ASSERT_EQ(ph.note(0, 2).status, 0);
        set_le32(&h, 4, 36 + 8);
        set_le32(&h, 40, 8);
        EXPECT_EQ(ph.header(), h);
    }
}

TEST(Output, RefusedRunsLeaveBothFilesAsTheyWere)
{
    Bytes not_riff = header_for(4);
    not_riff[0] = 'X';
    Bytes not_wave = header_for(4);
    not_wave[8] = 'X';
    Bytes negative = header_for(4);
    set_le32(&negative, 40, 0xfffffffe);
    Bytes huge = header_for(0x7ffffff0);
    struct Case {
        const char *name;
        Bytes header;
        std::string ovr;
        const char *message;
    } cases[] = {
        {"not RIFF", not_riff, "0", msg::not_riff},
        {"not WAVE", not_wave, "0", msg::not_wave},
        {"shorter than 44 bytes", Bytes(not_wave.begin(), not_wave.begin() + 8), "0", msg::not_wave},
        {"12 bytes of a header", [] { Bytes h = header_for(4); h.resize(12); return h; }(), "0", msg::header_short},
        {"negative data_size", negative, "0", msg::header_negative},
        {"data file shorter than the read-back", header_for(40), "3", msg::data_short},
        {"sizes past 2 GiB", huge, "0", msg::output_large},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Phrase ph;
        write_file(ph.header_name(), c.header);
        write_file(ph.data_name(), bytes_of({1, 2}));
        const RunResult r = ph.note(0, 10, c.ovr);
        EXPECT_EQ(r.status, -1);
        std::string message = c.message;
        if (message.find("%s") != std::string::npos) {
            const std::string name = message == msg::data_short || message == msg::output_large
                                         ? ph.data_name() : ph.header_name();
            message.replace(message.find("%s"), 2, name);
        }
        EXPECT_EQ(r.out, run_ok + message);
        EXPECT_EQ(ph.header(), c.header);
        EXPECT_EQ(ph.data(), Samples({1, 2}));
    }
}

TEST(Output, FailedOpenLeavesTheOutput)
{
    // A data file path that is a folder: the run stops before writing anything.
    Phrase ph;
    ASSERT_EQ(ph.note(0, 4).status, 0);
    const Bytes before = ph.header();
    const std::string folder = ph.out() + "2";
    std::filesystem::create_directory(folder + ".dat");
    const RunResult r = run_inprocess({folder, ph.dir().path("src.wav"), "0", "4", "0", "0"});
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find(folder + ".dat"), std::string::npos) << r.out;
    EXPECT_FALSE(file_exists(folder + ".whd"));
    // An outfile in a folder that does not exist.
    const RunResult missing = run_inprocess({ph.dir().path("no/such/out"), ph.dir().path("src.wav"), "0", "4", "0", "0"});
    EXPECT_EQ(missing.status, -1);
    EXPECT_EQ(ph.header(), before);
}

TEST(Output, LongOutfileNames)
{
    // Names have no fixed-size buffers: any path the file system takes will do.
    Phrase ph;
    std::string folder = ph.dir().path("");
    while (folder.size() < 600)
        folder += std::string(100, 'd') + "/";
    std::filesystem::create_directories(folder);
    const std::string out = folder + "out";
    const RunResult r = run_inprocess({out, ph.dir().path("src.wav"), "0", "4", "0", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(out + ".dat").size(), 8u);
    EXPECT_EQ(read_file(out + ".whd"), header_for(8));
}

// A minimal reader of a whole WAVE file: the canonical 44-byte layout.
struct Wave {
    bool ok = false;
    std::uint32_t rate = 0;
    std::uint16_t channels = 0, bits = 0;
    Samples samples;
};

Wave read_wave(const Bytes &b)
{
    Wave w;
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 16) != "WAVEfmt " ||
        std::string(b.begin() + 36, b.begin() + 40) != "data" || le32_at(b, 4) != b.size() - 8 ||
        le32_at(b, 40) != b.size() - 44)
        return w;
    w.channels = static_cast<std::uint16_t>(b[22] | (b[23] << 8));
    w.rate = le32_at(b, 24);
    w.bits = static_cast<std::uint16_t>(b[34] | (b[35] << 8));
    w.samples = samples_of(Bytes(b.begin() + 44, b.end()));
    w.ok = true;
    return w;
}

TEST(Output, PhraseStaysConsistentAndJoins)
{
    Phrase ph;
    for (int i = 0; i < 24; ++i) {
        const int length = 5 + (i * 7) % 23;
        const int ovr = i % 5 == 4 ? -(i % 3) - 2 : (i * 3) % 11; // overlaps, some longer than the note, and gaps
        ASSERT_EQ(ph.note((i * 37) % 900, length, std::to_string(ovr)).status, 0) << i;
        const Bytes h = ph.header();
        ASSERT_EQ(h.size(), 44u);
        const std::uint32_t data_size = le32_at(h, 40);
        EXPECT_EQ(read_file(ph.data_name()).size(), data_size) << i;
        EXPECT_EQ(le32_at(h, 4), data_size + 36) << i;
    }
    const std::string wav = ph.dir().path("phrase.wav");
    const std::int32_t n = binjoin(ph.header_name().c_str(), ph.data_name().c_str(), wav.c_str());
    const Wave w = read_wave(read_file(wav));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(n, static_cast<std::int32_t>(44 + 2 * w.samples.size()));
    EXPECT_EQ(w.rate, 44100u);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.samples, ph.data());
}

TEST(Binjoin, Failures)
{
    TempDir dir;
    write_file(dir.path("a"), {1, 2, 3});
    write_file(dir.path("b"), {4, 5});
    const std::string a = dir.path("a"), b = dir.path("b"), out = dir.path("out");
    EXPECT_EQ(binjoin(a.c_str(), b.c_str(), out.c_str()), 5);
    EXPECT_EQ(read_file(out), Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(binjoin(a.c_str(), b.c_str(), dir.path("no/such/out").c_str()), -1);
    EXPECT_EQ(binjoin(dir.path("none").c_str(), b.c_str(), out.c_str()), -2);
    EXPECT_EQ(read_file(out), Bytes{});
    EXPECT_EQ(binjoin(a.c_str(), dir.path("none").c_str(), out.c_str()), -2);
    EXPECT_EQ(read_file(out), Bytes({1, 2, 3}));
#ifndef _WIN32
    // A device that refuses every write.
    EXPECT_EQ(binjoin(a.c_str(), b.c_str(), "/dev/full"), -1);
#endif
}

} // namespace
