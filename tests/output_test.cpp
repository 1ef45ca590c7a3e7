// Runs in sequence on one output: the header file and the data file after
// every run, the overlap and the gap, damaged and inconsistent outputs, and
// the join.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages.h"
#include "util.h"
#include "wave/file.h"
#include "wave/join.h"

namespace {

// The ramp source's frames from offset on: what a full-gain note of them renders.
Samples stretch(int offset, int length)
{
    return ramp(offset, length);
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

// One output in a folder of its own, and notes rendered into it at full gain
// (every envelope point at 100%, so each note is the source stretch itself).
class Phrase {
public:
    Phrase() : out_(dir_.path("out")), src_(dir_.path("src.wav")) { write_file(src_, ramp_source()); }

    RunResult note(int offset, int length, const std::string &ovr = "0", const char *samples = nullptr)
    {
        return run_inprocess(full_gain_note(out_, src_, offset, length, ovr), samples);
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

// A writer that streams to a pipe cannot seek back to fill in its sizes, and
// leaves 0xFFFFFFFF in riff_size and data_size: the data runs to the end of
// the file. Its riff_size is still printed as it is, -1.
TEST(Output, SourcesOfStreamingWriters)
{
    Phrase ph;
    Bytes info;
    append_id(&info, "LIST");
    append_le32(&info, 4);
    append_id(&info, "INFO");
    WavSpec shape;
    shape.sample_rate = 1000;
    shape.before_data = info;
    shape.data_size = 0xffffffff;
    Bytes streamed = make_wav(ramp(0, 30), shape);
    set_le32(&streamed, 4, 0xffffffff);
    write_file(ph.dir().path("streamed.wav"), streamed);
    const RunResult r = run_inprocess(full_gain_note(ph.out(), ph.dir().path("streamed.wav"), 5, 20));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "samples/sec:44100\ninfile_size:-1\n");
    ph.expect(stretch(5, 20), __LINE__);
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
    Bytes longer = header_for(8);
    longer.insert(longer.end(), {'j', 'u', 'n', 'k'});
    Bytes stereo = header_for(4, 8000);
    set_le16(&stereo, 22, 2);
    Bytes stereo_after = stereo;
    set_le32(&stereo_after, 4, 36 + 10);
    set_le32(&stereo_after, 40, 10);
    struct Case {
        const char *what;
        OutputFiles before;
        std::string ovr;
        std::string printed; // after the run's two lines
        OutputFiles after;
    } cases[] = {
        {"an empty header file: a fresh header after the data file's bytes",
         {Bytes{}, bytes_of({7, 8})}, "0", msg::read_binload,
         {header_for(6), bytes_of(concat({{7, 8}, stretch(0, 3)}))}},
        {"a header file longer than 44 bytes keeps its first 44",
         {longer, bytes_of(stretch(500, 4))}, "0", "",
         {header_for(14), bytes_of(concat({stretch(500, 4), stretch(0, 3)}))}},
        {"a header without a data file: the note goes unmixed",
         {header_for(20), std::nullopt}, "2", "", {header_for(26), bytes_of(stretch(0, 3))}},
        {"a header whose format differs is carried over",
         {stereo, bytes_of({1, 2})}, "0", "", {stereo_after, bytes_of(concat({{1, 2}, stretch(0, 3)}))}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Phrase ph;
        set_files(ph.out(), c.before);
        const RunResult r = ph.note(0, 3, c.ovr);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, run_ok + c.printed);
        EXPECT_EQ(files_of(ph.out()), c.after);
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
    // The line each refusal ends with names the header file (.whd) or the
    // data file (.dat), or nothing.
    struct Case {
        const char *name;
        Bytes header;
        std::string ovr;
        std::string message;
    } cases[] = {
        {"not RIFF", not_riff, "0", "not a wave file\n"},
        {"not WAVE", not_wave, "0", "not WAVE format\n"},
        {"shorter than 44 bytes", Bytes(not_wave.begin(), not_wave.begin() + 8), "0", "not WAVE format\n"},
        {"12 bytes of a header", [] { Bytes h = header_for(4); h.resize(12); return h; }(), "0",
         "header file too short: .whd"},
        {"negative data_size", negative, "0", "negative data_size in header file: .whd"},
        {"data file shorter than the read-back", header_for(40), "3",
         "data file shorter than its header says: .dat"},
        {"sizes past 2 GiB", huge, "0", "output would exceed 2 GiB: .dat"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Phrase ph;
        write_file(ph.header_name(), c.header);
        write_file(ph.data_name(), bytes_of({1, 2}));
        const RunResult r = ph.note(0, 10, c.ovr);
        EXPECT_EQ(r.status, -1);
        std::string message = c.message;
        if (message.back() != '\n')
            message.replace(message.size() - 4, 0, ph.out()) += "\n";
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
        EXPECT_TRUE(consistent(files_of(ph.out()))) << i;
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
    const Bytes old = {9, 9};
    struct Case {
        const char *what;
        std::string first, second, output;
        std::int32_t result;
        Bytes after; // the output's bytes after the join
    } cases[] = {
        {"both joined", a, b, out, 5, {1, 2, 3, 4, 5}},
        {"a missing first input", dir.path("none"), b, out, -2, old},
        {"a missing second input", a, dir.path("none"), out, -2, old},
        {"an output that is the first input", out, b, out, -1, old},
        {"an output that is the second input", a, out, out, -1, old},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        write_file(out, old);
        EXPECT_EQ(binjoin(c.first.c_str(), c.second.c_str(), c.output.c_str()), c.result);
        EXPECT_EQ(read_file(out), c.after);
        EXPECT_FALSE(file_exists(out + ".tmp"));
    }
    EXPECT_EQ(binjoin(a.c_str(), b.c_str(), dir.path("no/such/out").c_str()), -1);
#ifndef _WIN32
    // Through a symbolic link the file it leads to is replaced, and the link
    // stays; a device is written to, here one that refuses every write.
    std::filesystem::create_symlink(out, dir.path("link"));
    EXPECT_EQ(binjoin(a.c_str(), b.c_str(), dir.path("link").c_str()), 5);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link")));
    EXPECT_EQ(read_file(out), Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(binjoin(a.c_str(), b.c_str(), "/dev/full"), -1);
#endif
}

// Every file operation of a join made to fail, alone (a full disk) and with
// all that follow it (a disk gone): the output keeps its old bytes; where the
// system still answers, no scratch file is left.
TEST(Binjoin, FailingOperationsLeaveTheOutput)
{
    TempDir dir;
    const std::string a = dir.path("a"), b = dir.path("b"), out = dir.path("out");
    write_file(a, Bytes(100000, 1)); // two buffers and a half
    write_file(b, Bytes(70000, 2));
    const Bytes old = {9, 9};
    write_file(out, old);
    file_fail_at(0);
    ASSERT_EQ(binjoin(a.c_str(), b.c_str(), out.c_str()), 170000);
    const std::int64_t ops = file_ops();
    const Bytes joined = read_file(out);
    for (std::int64_t n = 1; n <= ops; ++n)
        for (const bool and_after : {false, true}) {
            SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(ops) +
                         (and_after ? " and all after it" : ""));
            write_file(out, old);
            std::filesystem::remove(out + ".tmp");
            file_fail_at(n, and_after);
            const std::int32_t r = binjoin(a.c_str(), b.c_str(), out.c_str());
            file_fail_at(0);
            EXPECT_TRUE(r == -1 || r == -2) << r;
            EXPECT_EQ(read_file(out), old);
            if (!and_after) {
                EXPECT_FALSE(file_exists(out + ".tmp"));
            }
        }
}

} // namespace
